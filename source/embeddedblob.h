#pragma once
#include <cstddef>

namespace brontal {

// Read-only bytes compiled into the module (tables, impulse responses, bitmaps).
struct Blob
{
	const unsigned char* data;
	std::size_t size;
};

} // namespace brontal
