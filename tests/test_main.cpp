// The main of every test program. Before anything else it creates the file named in
// QVL_TEST_STARTED, if set: tests/wine_test.sh, which runs the programs under Wine, tells by
// it whether the program itself ran, or Wine failed before reaching it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (const char* marker = std::getenv("QVL_TEST_STARTED"); marker && *marker) {
        if (FILE* file = std::fopen(marker, "wb")) std::fclose(file);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
