#include "brontalstatestream.h"

#include <algorithm>

namespace brontal {

bool ReadStateStream(Steinberg::IBStream* pStream, StateBytes& bytes)
{
	if (!pStream)
		return false;
	// Zeroed, so that even a stream that lies about what it delivered cannot
	// bring old memory into the parameters.
	StateBytes read(kStateRecordSize, 0);
	std::size_t uTotal = 0;
	// A stream that claims more than it was asked for cannot be trusted with
	// any of it; one that answers OK with nothing has ended, and so has one
	// that fails, after the bytes it did deliver (streams that end short of
	// what was asked often answer so).
	auto fill = [&](std::size_t uUntil) {
		while (uTotal < uUntil)
		{
			const auto iAsked = static_cast<Steinberg::int32>(std::min<std::size_t>(uUntil - uTotal, 1 << 16));
			Steinberg::int32 iRead = 0;
			const Steinberg::tresult result = pStream->read(read.data() + uTotal, iAsked, &iRead);
			if (iRead < 0 || iRead > iAsked)
				return false;
			// A stream may deliver its last bytes and say it could not give
			// all that was asked: they count, and the stream has ended.
			uTotal += static_cast<std::size_t>(iRead);
			if (result != Steinberg::kResultOk || iRead == 0)
				return false;
		}
		return true;
	};
	if (!fill(kStateRecordSize))
		return false;
	// The chunks: as much as the stream holds, read in growing pieces.
	while (uTotal == read.size() && read.size() < kMaxStateBytes)
	{
		read.resize(std::min(read.size() * 2, kMaxStateBytes));
		if (!fill(read.size()))
			break;
	}
	read.resize(uTotal);
	bytes = std::move(read);
	return true;
}

bool WriteStateStream(Steinberg::IBStream* pStream, const StateBytes& bytes)
{
	if (!pStream)
		return false;
	const auto iSize = static_cast<Steinberg::int32>(bytes.size());
	Steinberg::int32 iWritten = 0;
	return pStream->write(const_cast<unsigned char*>(bytes.data()), iSize, &iWritten) == Steinberg::kResultOk &&
	       iWritten == iSize;
}

} // namespace brontal
