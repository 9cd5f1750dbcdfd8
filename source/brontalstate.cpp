#include "brontalstate.h"

#include <algorithm>
#include <cstring>

namespace brontal {
namespace {
constexpr std::size_t kChunkHeaderSize = 12;
constexpr std::uint32_t kParamChunkVersion = 1;

void PutU32At(unsigned char* pDest, std::uint32_t uValue)
{
	for (int i = 0; i < 4; ++i)
		pDest[i] = static_cast<unsigned char>(uValue >> (8 * i));
}

std::uint32_t GetU32At(const unsigned char* pSource)
{
	std::uint32_t uValue = 0;
	for (int i = 0; i < 4; ++i)
		uValue |= static_cast<std::uint32_t>(pSource[i]) << (8 * i);
	return uValue;
}

std::uint32_t FloatBits(float fValue)
{
	std::uint32_t uBits;
	std::memcpy(&uBits, &fValue, 4);
	return uBits;
}

float BitsFloat(std::uint32_t uBits)
{
	float fValue;
	std::memcpy(&fValue, &uBits, 4);
	return fValue;
}

bool IsSavedAfterRecord(int iId)
{
	return iId > kLastRecordParam && IsParamId(iId) && IsSaved(ParamDefOf(iId));
}

// False when the payload does not parse; afValues is then untouched.
bool ReadParamChunk(const StateChunk& chunk, StateValues& afValues)
{
	if (chunk.uVersion != kParamChunkVersion)
		return false;
	ChunkReader reader(chunk.payload);
	const std::uint32_t uCount = reader.GetU32();
	if (!reader.Ok() || reader.Remaining() != std::size_t{8} * uCount)
		return false;
	StateValues afRead;
	std::copy(std::begin(afValues), std::end(afValues), std::begin(afRead));
	for (std::uint32_t i = 0; i < uCount; ++i)
	{
		const std::uint32_t uId = reader.GetU32();
		const float fValue = reader.GetF32();
		// A parameter of a later build is not ours to set.
		if (uId <= static_cast<std::uint32_t>(MaxParamId()) && IsSavedAfterRecord(static_cast<int>(uId)))
			afRead[uId] = fValue;
	}
	std::copy(std::begin(afRead), std::end(afRead), std::begin(afValues));
	return true;
}
} // namespace

StateBytes SerialiseState(const StateValues& afValues, const std::vector<StateChunk>& chunks)
{
	StateBytes bytes(kStateRecordSize);
	PutU32At(bytes.data(), FloatBits(kStateMarker));
	for (int i = kFirstParam; i <= kLastRecordParam; ++i)
		PutU32At(bytes.data() + 4 * i, FloatBits(afValues[i]));

	auto append = [&bytes](std::uint32_t uTag, std::uint32_t uVersion, const StateBytes& payload) {
		const std::size_t uAt = bytes.size();
		bytes.resize(uAt + kChunkHeaderSize);
		PutU32At(bytes.data() + uAt, uTag);
		PutU32At(bytes.data() + uAt + 4, uVersion);
		PutU32At(bytes.data() + uAt + 8, static_cast<std::uint32_t>(payload.size()));
		bytes.insert(bytes.end(), payload.begin(), payload.end());
	};

	ChunkWriter params;
	std::uint32_t uCount = 0;
	for (const ParamDef& def : kParams)
		uCount += IsSavedAfterRecord(def.iId) ? 1 : 0;
	if (uCount > 0)
	{
		params.PutU32(uCount);
		for (const ParamDef& def : kParams)
			if (IsSavedAfterRecord(def.iId))
			{
				params.PutU32(static_cast<std::uint32_t>(def.iId));
				params.PutF32(afValues[def.iId]);
			}
		append(kParamChunkTag, kParamChunkVersion, params.Bytes());
	}
	for (const StateChunk& chunk : chunks)
		append(chunk.uTag, chunk.uVersion, chunk.payload);
	return bytes;
}

bool ParseState(const unsigned char* pData, std::size_t uSize, ParsedState& out)
{
	if (!pData || uSize < static_cast<std::size_t>(kStateRecordSize))
		return false;
	ParsedState parsed;
	for (const ParamDef& def : kParams)
		parsed.afValues[def.iId] = def.fDefault;
	for (int i = kFirstParam; i <= kLastRecordParam; ++i)
		parsed.afValues[i] = BitsFloat(GetU32At(pData + 4 * i));

	std::size_t uPos = kStateRecordSize;
	while (uPos < uSize)
	{
		if (uSize - uPos < kChunkHeaderSize)
		{
			parsed.bChunksIntact = false;
			break;
		}
		StateChunk chunk;
		chunk.uTag = GetU32At(pData + uPos);
		chunk.uVersion = GetU32At(pData + uPos + 4);
		const std::size_t uLength = GetU32At(pData + uPos + 8);
		uPos += kChunkHeaderSize;
		if (uLength > uSize - uPos)
		{
			parsed.bChunksIntact = false;
			break;
		}
		chunk.payload.assign(pData + uPos, pData + uPos + uLength);
		uPos += uLength;
		if (chunk.uTag != kParamChunkTag)
			parsed.chunks.push_back(std::move(chunk));
		else if (!ReadParamChunk(chunk, parsed.afValues))
			parsed.bChunksIntact = false;
	}
	out = std::move(parsed);
	return true;
}

void ChunkWriter::PutU32(std::uint32_t uValue)
{
	unsigned char ac[4];
	PutU32At(ac, uValue);
	m_bytes.insert(m_bytes.end(), ac, ac + 4);
}

void ChunkWriter::PutF32(float fValue)
{
	PutU32(FloatBits(fValue));
}

void ChunkWriter::PutString(const std::string& sValue)
{
	PutU32(static_cast<std::uint32_t>(sValue.size()));
	PutBytes(sValue.data(), sValue.size());
}

void ChunkWriter::PutBytes(const void* pData, std::size_t uSize)
{
	const auto* p = static_cast<const unsigned char*>(pData);
	m_bytes.insert(m_bytes.end(), p, p + uSize);
}

bool ChunkReader::Take(std::size_t uSize)
{
	if (!m_bOk || m_bytes.size() - m_uPos < uSize)
		return m_bOk = false;
	m_uPos += uSize;
	return true;
}

std::uint32_t ChunkReader::GetU32()
{
	return Take(4) ? GetU32At(m_bytes.data() + m_uPos - 4) : 0;
}

float ChunkReader::GetF32()
{
	return BitsFloat(GetU32());
}

std::string ChunkReader::GetString(std::size_t uMaxLength)
{
	const std::size_t uLength = GetU32();
	if (uLength > uMaxLength || !Take(uLength))
	{
		m_bOk = false;
		return {};
	}
	return std::string(reinterpret_cast<const char*>(m_bytes.data() + m_uPos - uLength), uLength);
}

bool ChunkReader::GetBytes(void* pDest, std::size_t uSize)
{
	if (!Take(uSize))
		return false;
	std::memcpy(pDest, m_bytes.data() + m_uPos - uSize, uSize);
	return true;
}

} // namespace brontal
