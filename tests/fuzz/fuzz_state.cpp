// State loads through the bundle: the processor's setState and the
// controller's setState and setComponentState, fed any bytes through
// streams that deliver them in pieces, fail part-way, or misreport what
// they delivered.
//
// Invariant: a load is whole or nothing. When it answers kResultOk every
// parameter holds the record's value (clamped to 0..1, below the smallest
// normal float 0, a NaN keeping the old value); otherwise nothing changed. Saving into a failing stream
// changes nothing either.
//
// A cabinet response in the state ('cabi' chunk) is kept whole or not at
// all: what the processor saves after the record is a chunk it was given.
//
// Input layout (see tools/gen_fuzz_seeds.py): target, stream behaviour,
// then the bytes the stream holds.

#include "fuzzreader.h"
#include "host/module.h"
#include "host/plugininstance.h"

#include "brontalparams.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
namespace host = brontal::host;
using brontal::fuzz::FuzzReader;

namespace {

// Serves its bytes at most uChunk at a time; reads that would pass byte
// uFailAt fail (after delivering what comes before it when bPartialFail);
// with bOverstate, a read that delivers all it was asked for claims one byte
// more.
class TrickyStream : public IBStream
{
public:
	TrickyStream(std::vector<uint8> bytes, uint32 uChunk, uint32 uFailAt, bool bPartialFail, bool bOverstate)
		: m_bytes(std::move(bytes)), m_uChunk(uChunk), m_uFailAt(uFailAt), m_bPartialFail(bPartialFail),
		  m_bOverstate(bOverstate)
	{
	}

	tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override
	{
		if (numBytesRead)
			*numBytesRead = 0;
		if (!buffer || numBytes < 0)
			return kInvalidArgument;
		size_t n = std::min<size_t>({static_cast<size_t>(numBytes), m_uChunk, m_bytes.size() - m_uCursor});
		bool bFail = false;
		if (m_uCursor + n > m_uFailAt)
		{
			bFail = true;
			n = m_bPartialFail && m_uFailAt > m_uCursor ? m_uFailAt - m_uCursor : 0;
		}
		if (n > 0)
			std::memcpy(buffer, m_bytes.data() + m_uCursor, n);
		m_uCursor += n;
		if (numBytesRead)
			*numBytesRead = static_cast<int32>(n) + (m_bOverstate && n == static_cast<size_t>(numBytes) ? 1 : 0);
		return bFail ? kResultFalse : kResultOk;
	}
	tresult PLUGIN_API write(void* buffer, int32 numBytes, int32* numBytesWritten) override
	{
		if (numBytesWritten)
			*numBytesWritten = 0;
		if (!buffer || numBytes < 0)
			return kInvalidArgument;
		const size_t n = std::min<size_t>(static_cast<size_t>(numBytes), m_uFailAt - std::min(m_uFailAt, m_uWritten));
		m_uWritten += n;
		if (numBytesWritten)
			*numBytesWritten = static_cast<int32>(n);
		return n == static_cast<size_t>(numBytes) ? kResultOk : kResultFalse;
	}
	tresult PLUGIN_API seek(int64, int32, int64*) override { return kNotImplemented; }
	tresult PLUGIN_API tell(int64* pos) override
	{
		if (pos)
			*pos = static_cast<int64>(m_uCursor);
		return kResultOk;
	}
	tresult PLUGIN_API queryInterface(const TUID, void** obj) override
	{
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef() override { return 1; }
	uint32 PLUGIN_API release() override { return 1; }

private:
	std::vector<uint8> m_bytes;
	size_t m_uCursor = 0;
	size_t m_uChunk;
	size_t m_uFailAt;
	size_t m_uWritten = 0;
	bool m_bPartialFail;
	bool m_bOverstate;
};

std::unique_ptr<host::PluginInstance> g_pInstance;

std::vector<float> processorValues()
{
	host::ByteStream stream = g_pInstance->saveComponentState();
	FUZZ_CHECK(stream.bytes().size() >= 80, "processor saved %zu bytes", stream.bytes().size());
	std::vector<float> values(20);
	std::memcpy(values.data(), stream.bytes().data(), 80);
	return values;
}

std::vector<float> controllerValues()
{
	std::vector<float> values(20);
	for (int i = kFirstParam; i <= kLastParam; ++i)
		values[size_t(i)] = static_cast<float>(g_pInstance->controller()->getParamNormalized(static_cast<ParamID>(i)));
	return values;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
	g_pInstance = std::make_unique<host::PluginInstance>(host::Module::load(BRONTAL_BUNDLE_PATH));
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
	FuzzReader input(pData, nSize);
	const uint8 uTarget = input.u8() % 4;
	const uint8 uMode = input.u8();
	const uint32 uChunk = 1 + input.u8();
	const uint32 uFailAt = (uMode & 1) ? input.u8() : 0xFFFFFFFFu;
	std::vector<uint8> bytes(input.remaining());
	input.bytes(bytes.data(), bytes.size());
	TrickyStream stream(bytes, uChunk, uFailAt, uMode & 2, uMode & 4);

	const bool bProcessor = uTarget == 0 || uTarget == 3;
	const std::vector<float> before = bProcessor ? processorValues() : controllerValues();
	tresult result;
	switch (uTarget)
	{
		case 0: result = g_pInstance->component()->setState(&stream); break;
		case 1: result = g_pInstance->controller()->setComponentState(&stream); break;
		case 2: result = g_pInstance->controller()->setState(&stream); break;
		default: result = g_pInstance->component()->getState(&stream); break;
	}
	const std::vector<float> after = bProcessor ? processorValues() : controllerValues();

	if (uTarget == 3 || result != kResultOk)
	{
		FUZZ_CHECK(std::memcmp(before.data() + 1, after.data() + 1, 19 * sizeof(float)) == 0,
		           "target %d answered %d and changed the parameters", uTarget, static_cast<int>(result));
		return 0;
	}
	// Accepted: the record was there, whole, in the first 80 bytes, and the
	// stream never claimed more than it was asked for.
	FUZZ_CHECK(bytes.size() >= 80 && uFailAt >= 80, "target %d accepted an incomplete record", uTarget);
	FUZZ_CHECK(!(uMode & 4), "target %d accepted a stream that claimed too much", uTarget);
	// What the processor saves after its record (a cabinet response) is a
	// chunk it was given, byte for byte.
	if (uTarget == 0)
	{
		const std::vector<char> saved = g_pInstance->saveComponentState().bytes();
		const auto tail = saved.begin() + 80;
		FUZZ_CHECK(tail == saved.end() || std::search(bytes.begin() + 80, bytes.end(), tail, saved.end(), [](uint8 a, char b) {
			           return a == static_cast<uint8>(b);
		           }) != bytes.end(),
		           "the processor saved %zu bytes after its record that it was not given", saved.size() - 80);
	}
	for (int i = kFirstParam; i <= kLastParam; ++i)
	{
		float fRecord;
		std::memcpy(&fRecord, bytes.data() + 4 * i, 4);
		const float fExpected = std::isnan(fRecord) ? before[size_t(i)] : fRecord < FLT_MIN ? 0.0f : std::min(fRecord, 1.0f);
		FUZZ_CHECK(after[size_t(i)] == fExpected, "target %d: parameter %d holds %g, the record %g", uTarget, i,
		           static_cast<double>(after[size_t(i)]), static_cast<double>(fRecord));
	}
	return 0;
}
