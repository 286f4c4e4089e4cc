#include "decode/korean_reading.h"

#include <algorithm>
#include <iterator>

#include "archive/util.h"

namespace rezui {

namespace {

// Syllables of everyday Korean prose, game texts and program texts, in code point order.
// Chinese text read as code page 949 rarely lands on them: its Hangul are mostly syllables
// such as 콱, 횅 or 괏 that Korean seldom writes.
constexpr char16_t kEverydayHangul[] =
    u"가각간갈감값갔강개거건검것게겠격결겼경계고골공과관교구국군궁귓그글금기길김까깥꺼"
    u"께꼴꽃꾸끄끊나날남났내너널넣네녀녁년녔녕노놀누는늘능늦니님다단닫달닷대더덕던데도"
    u"독돌동되됩두둠드득든들등따땅떠뛰뜻라람랍랐래램랭러렀레려력로록료류르른를름리릭린"
    u"릴립마만많말맛매머먹며면명모목몬무문물미민밀바밖받발밝밤방배버번법벗벤벨변별볐보"
    u"복볼봄부북분불붐붙비빛빴뻐사삭산살상새색생서선설성세션셨소속쇠수숙순숲스슨습승시"
    u"식신실심십씀씨아악안않알압았야약어언얻얼업없엇었엌에여역연열였예오올옵옷와완왕외"
    u"요욕용우운움웃워원월위으은을음의이인일읽임입있자작잠장재저적전절점접정제졌조족존"
    u"종좋주준줄줍중즌증지직진집째쪽찌찍차참찼창찾채책처첩체초최추축취치친침칭캐퀘크키"
    u"킬킹타탈태택터텍템토퇴투트특티팀팅파판팔패퍼페편폴표프플피필하학한할함합항해햇했"
    u"행험현형혜호혼홈화확환활황회획효후휴히힘";

bool is_hangul_syllable(wchar_t c) { return c >= 0xAC00 && c <= 0xD7A3; }

bool is_ideograph(wchar_t c) {
    return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF);
}

bool is_everyday_hangul(wchar_t c) {
    const auto end = std::end(kEverydayHangul) - 1;  // the literal's terminating zero
    return std::binary_search(std::begin(kEverydayHangul), end, static_cast<char16_t>(c));
}

}  // namespace

bool plausible_korean_reading(const std::string& utf8) {
    size_t letters = 0, everyday = 0;
    for (wchar_t c : rez::from_utf8(utf8)) {
        if (is_hangul_syllable(c)) {
            ++letters;
            everyday += is_everyday_hangul(c);
        } else if (is_ideograph(c)) {
            ++letters;
        }
    }
    return letters == 0 || everyday * 2 > letters;
}

}  // namespace rezui
