// PNG files on Windows: the Windows Imaging Component reads and writes them.
#include "pngfile.h"

#include <wincodec.h>
#include <windows.h>

namespace brontal::editortest {

namespace {

std::wstring widen(const std::string& text)
{
	std::wstring wide(std::size_t(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0)), L'\0');
	MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), int(wide.size()));
	wide.pop_back();
	return wide;
}

// Releases a COM pointer at the end of the scope.
template <typename T>
struct Com
{
	T* p = nullptr;
	~Com()
	{
		if (p)
			p->Release();
	}
	T** out() { return &p; }
	T* operator->() const { return p; }
};

IWICImagingFactory* factory()
{
	static IWICImagingFactory* pFactory = [] {
		CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
		IWICImagingFactory* pNew = nullptr;
		CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
		                 reinterpret_cast<void**>(&pNew));
		return pNew;
	}();
	return pFactory;
}

} // namespace

// Our 0x00RRGGBB words are WIC's 32-bit BGR pixels.
bool writePng(const std::string& path, const gui::CBitmap& image)
{
	if (!factory())
		return false;
	Com<IWICStream> stream;
	Com<IWICBitmapEncoder> encoder;
	Com<IWICBitmapFrameEncode> frame;
	WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
	const UINT uStride = UINT(image.getWidth()) * 4;
	return SUCCEEDED(factory()->CreateStream(stream.out())) &&
	       SUCCEEDED(stream->InitializeFromFilename(widen(path).c_str(), GENERIC_WRITE)) &&
	       SUCCEEDED(factory()->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out())) &&
	       SUCCEEDED(encoder->Initialize(stream.p, WICBitmapEncoderNoCache)) &&
	       SUCCEEDED(encoder->CreateNewFrame(frame.out(), nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
	       SUCCEEDED(frame->SetSize(UINT(image.getWidth()), UINT(image.getHeight()))) &&
	       SUCCEEDED(frame->SetPixelFormat(&format)) && format == GUID_WICPixelFormat32bppBGR &&
	       SUCCEEDED(frame->WritePixels(UINT(image.getHeight()), uStride, uStride * UINT(image.getHeight()),
	                                    reinterpret_cast<BYTE*>(const_cast<uint32_t*>(image.row(0))))) &&
	       SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

std::optional<gui::CBitmap> readPng(const std::string& path)
{
	if (!factory())
		return std::nullopt;
	Com<IWICBitmapDecoder> decoder;
	Com<IWICBitmapFrameDecode> frame;
	Com<IWICFormatConverter> converter;
	UINT uWidth = 0;
	UINT uHeight = 0;
	if (FAILED(factory()->CreateDecoderFromFilename(widen(path).c_str(), nullptr, GENERIC_READ,
	                                                WICDecodeMetadataCacheOnDemand, decoder.out())) ||
	    FAILED(decoder->GetFrame(0, frame.out())) || FAILED(frame->GetSize(&uWidth, &uHeight)) ||
	    FAILED(factory()->CreateFormatConverter(converter.out())) ||
	    FAILED(converter->Initialize(frame.p, GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
	                                 WICBitmapPaletteTypeCustom)))
		return std::nullopt;
	gui::CBitmap image{int(uWidth), int(uHeight)};
	if (FAILED(converter->CopyPixels(nullptr, uWidth * 4, uWidth * uHeight * 4, reinterpret_cast<BYTE*>(image.row(0)))))
		return std::nullopt;
	for (int y = 0; y < image.getHeight(); ++y)
		for (int x = 0; x < image.getWidth(); ++x)
			image.row(y)[x] &= 0xffffff;
	return image;
}

} // namespace brontal::editortest
