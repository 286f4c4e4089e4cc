#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstring>

#include "archive/win_handle.h"
#include "decode/image_decode.h"

namespace rezui {

namespace {

constexpr uint64_t kMaxPixels = 0x4000000;

// Listed here rather than taken from the SDK's libraries, which differ between toolchains.
constexpr CLSID kImagingFactoryClass = {0x317D06E8, 0x5F24, 0x433D, {0xBD, 0xF7, 0x79, 0xCE, 0x68, 0xD8, 0xAB, 0xC2}};
constexpr IID kImagingFactoryInterface = {0xEC5EC8A9, 0xC395, 0x4314, {0x9C, 0x77, 0x54, 0xD7, 0xA9, 0x35, 0xFF, 0x70}};
constexpr GUID kFormat32bppBgra = {0x6FDDC324, 0x4E03, 0x4BFE, {0xB1, 0x85, 0x3D, 0x77, 0x76, 0x8D, 0xC9, 0x0F}};

}  // namespace

std::optional<DecodedImage> decode_image_wic(const std::vector<uint8_t>& bytes) {
    if (bytes.empty() || bytes.size() > 0xFFFFFFFFu) return std::nullopt;

    rez::com_ptr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(kImagingFactoryClass, nullptr, CLSCTX_INPROC_SERVER, kImagingFactoryInterface,
                                factory.put_void())))
        return std::nullopt;

    rez::com_ptr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return std::nullopt;
    ULONG written = 0;
    if (FAILED(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) || written != bytes.size())
        return std::nullopt;
    LARGE_INTEGER zero{};
    if (FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr))) return std::nullopt;

    rez::com_ptr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())))
        return std::nullopt;
    rez::com_ptr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.put()))) return std::nullopt;
    UINT width = 0, height = 0;
    if (FAILED(frame->GetSize(&width, &height))) return std::nullopt;
    if (width < 1 || height < 1 || static_cast<uint64_t>(width) * height > kMaxPixels) return std::nullopt;

    rez::com_ptr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put()))) return std::nullopt;
    if (FAILED(converter->Initialize(frame.get(), kFormat32bppBgra, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeMedianCut)))
        return std::nullopt;

    DecodedImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * height * 4);
    // Already blue, green, red, alpha: kept as they come.
    if (FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(image.pixels.size()), image.pixels.data())))
        return std::nullopt;
    return image;
}

}  // namespace rezui
