#include "brontalstate.h"

#include <cstdint>
#include <cstring>

namespace brontal {
namespace {
void PutFloat(unsigned char* pDest, float fValue)
{
	std::uint32_t uBits;
	std::memcpy(&uBits, &fValue, 4);
	for (int i = 0; i < 4; ++i)
		pDest[i] = static_cast<unsigned char>(uBits >> (8 * i));
}

float GetFloat(const unsigned char* pSource)
{
	std::uint32_t uBits = 0;
	for (int i = 0; i < 4; ++i)
		uBits |= static_cast<std::uint32_t>(pSource[i]) << (8 * i);
	float fValue;
	std::memcpy(&fValue, &uBits, 4);
	return fValue;
}
} // namespace

bool WriteStateRecord(Steinberg::IBStream* pStream, const StateValues& afValues)
{
	if (!pStream)
		return false;
	unsigned char acRecord[kStateRecordSize];
	PutFloat(acRecord, kStateMarker);
	for (int i = kFirstParam; i <= kLastParam; ++i)
		PutFloat(acRecord + 4 * i, afValues[i]);
	Steinberg::int32 iWritten = 0;
	return pStream->write(acRecord, kStateRecordSize, &iWritten) == Steinberg::kResultOk &&
	       iWritten == kStateRecordSize;
}

bool ReadStateRecord(Steinberg::IBStream* pStream, StateValues& afValues)
{
	if (!pStream)
		return false;
	// Zeroed, so that even a stream that lies about what it delivered
	// cannot bring stack contents into the parameters.
	unsigned char acRecord[kStateRecordSize] = {};
	Steinberg::int32 iTotal = 0;
	// Streams may deliver less than asked; keep reading until the record is
	// whole or the stream stops giving. A stream that claims more than was
	// asked cannot be trusted with any of it.
	while (iTotal < kStateRecordSize)
	{
		const Steinberg::int32 iAsked = kStateRecordSize - iTotal;
		Steinberg::int32 iRead = 0;
		if (pStream->read(acRecord + iTotal, iAsked, &iRead) != Steinberg::kResultOk || iRead <= 0 || iRead > iAsked)
			return false;
		iTotal += iRead;
	}
	for (int i = kFirstParam; i <= kLastParam; ++i)
		afValues[i] = GetFloat(acRecord + 4 * i);
	return true;
}

} // namespace brontal
