#pragma once

// The saved state, shared by the processor and the controller: the 80-byte
// record (the marker 1.0 and the values of ids 1..19, each a little-endian
// 32-bit float), then any number of chunks, each a four-character tag, a
// version and the payload's length (little-endian 32-bit words) followed by
// the payload. Older builds read the record and stop there; a build skips a
// tag it does not know. The record never grows: a parameter after id 19 is
// saved in the 'parm' chunk.
//
// Everything here works on plain bytes, so that every shell (and every
// test) reads a state the same way; the VST 3 streams are in
// brontalstatestream.h.

#include "brontalparams.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brontal {

using StateBytes = std::vector<unsigned char>;

constexpr int kLastRecordParam = 19;
constexpr int kStateRecordSize = 4 * (kLastRecordParam + 1);
constexpr float kStateMarker = 1.0f;
// A state larger than this is cut there (its last chunk then refused):
// room for a 2 s stereo impulse response at 384 kHz, with some to spare.
constexpr std::size_t kMaxStateBytes = std::size_t{32} << 20;

constexpr int MaxParamId()
{
	int iMax = kParamListEnd;
	for (const ParamDef& def : kParams)
		iMax = def.iId > iMax ? def.iId : iMax;
	return iMax;
}
// Values indexed by parameter id; only the saved parameters' entries count.
using StateValues = float[MaxParamId() + 1];

// The parameters a state holds: all of the record's, and after it every one
// the user sets (not the indicators the processor reports, nor the pedals
// and the program choice, whose effect is the settings they set).
constexpr bool IsSaved(const ParamDef& def)
{
	return def.iId <= kLastRecordParam ||
	       (def.kind != ParamKind::Indicator && def.kind != ParamKind::Pedal && def.kind != ParamKind::Program);
}

constexpr std::uint32_t ChunkTag(const char (&szTag)[5])
{
	return static_cast<std::uint32_t>(static_cast<unsigned char>(szTag[0])) |
	       static_cast<std::uint32_t>(static_cast<unsigned char>(szTag[1])) << 8 |
	       static_cast<std::uint32_t>(static_cast<unsigned char>(szTag[2])) << 16 |
	       static_cast<std::uint32_t>(static_cast<unsigned char>(szTag[3])) << 24;
}
constexpr std::uint32_t kParamChunkTag = ChunkTag("parm");

struct StateChunk
{
	std::uint32_t uTag = 0;
	std::uint32_t uVersion = 0;
	StateBytes payload;
};

struct ParsedState
{
	// The record's values for ids 1..19, the 'parm' chunk's for later ids,
	// and the defaults of the saved parameters the state does not hold. Not
	// yet sanitised: a loaded value enters a cell through SanitiseParamValue.
	StateValues afValues = {};
	// Every other chunk read whole, in the order saved.
	std::vector<StateChunk> chunks;
	// False when a chunk was cut short or claimed more than the state holds
	// (it and everything after it are left out), or when a 'parm' chunk did
	// not parse (its parameters keep their defaults).
	bool bChunksIntact = true;
};

// The record for ids 1..19, then a 'parm' chunk if the table has saved
// parameters after the record, then the chunks given.
StateBytes SerialiseState(const StateValues& afValues, const std::vector<StateChunk>& chunks = {});
// False when the bytes do not hold a whole record; then out is untouched.
bool ParseState(const unsigned char* pData, std::size_t uSize, ParsedState& out);

// A chunk's payload, written and read as little-endian fields. A read past
// the end, or a string longer than what is left, fails and keeps failing,
// so that an owner can read every field and check once at the end.
class ChunkWriter
{
public:
	void PutU32(std::uint32_t uValue);
	void PutF32(float fValue);
	void PutString(const std::string& sValue); // its length, then its bytes
	void PutBytes(const void* pData, std::size_t uSize);
	StateBytes& Bytes() { return m_bytes; }

private:
	StateBytes m_bytes;
};

class ChunkReader
{
public:
	explicit ChunkReader(const StateBytes& bytes) : m_bytes(bytes) {}
	std::uint32_t GetU32();
	float GetF32();
	std::string GetString(std::size_t uMaxLength);
	bool GetBytes(void* pDest, std::size_t uSize);
	std::size_t Remaining() const { return m_bOk ? m_bytes.size() - m_uPos : 0; }
	// Every field read so far was there, and nothing is left over.
	bool Done() const { return m_bOk && m_uPos == m_bytes.size(); }
	bool Ok() const { return m_bOk; }

private:
	bool Take(std::size_t uSize);

	const StateBytes& m_bytes;
	std::size_t m_uPos = 0;
	bool m_bOk = true;
};

} // namespace brontal
