#include "pngfile.h"

#include <png.h>

#include <vector>

namespace brontal::editortest {

// Our 0x00RRGGBB words are B, G, R, 0 in memory on little-endian hosts:
// libpng's BGRA format with the alpha byte forced opaque.
bool writePng(const std::string& path, const gui::CBitmap& image)
{
	std::vector<uint32_t> aPixels;
	aPixels.reserve(std::size_t(image.getWidth()) * image.getHeight());
	for (int y = 0; y < image.getHeight(); ++y)
		for (int x = 0; x < image.getWidth(); ++x)
			aPixels.push_back(image.pixel(x, y) | 0xff000000u);
	png_image png{};
	png.version = PNG_IMAGE_VERSION;
	png.width = png_uint_32(image.getWidth());
	png.height = png_uint_32(image.getHeight());
	png.format = PNG_FORMAT_BGRA;
	return png_image_write_to_file(&png, path.c_str(), 0, aPixels.data(), 0, nullptr) != 0;
}

std::optional<gui::CBitmap> readPng(const std::string& path)
{
	png_image png{};
	png.version = PNG_IMAGE_VERSION;
	if (!png_image_begin_read_from_file(&png, path.c_str()))
		return std::nullopt;
	png.format = PNG_FORMAT_BGRA;
	gui::CBitmap image(int(png.width), int(png.height));
	if (!png_image_finish_read(&png, nullptr, image.row(0), 0, nullptr))
	{
		png_image_free(&png);
		return std::nullopt;
	}
	for (int y = 0; y < image.getHeight(); ++y)
		for (int x = 0; x < image.getWidth(); ++x)
			image.row(y)[x] &= 0xffffff;
	return image;
}

} // namespace brontal::editortest
