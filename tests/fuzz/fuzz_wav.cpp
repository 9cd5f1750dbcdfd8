// The impulse-response file reader, fed any bytes as a WAV file.
//
// Invariants: a file is either refused with one sentence that names it, or
// read as one or two channels of equal length, 1 frame to 2 s at a rate of
// 8 to 384 kHz, every sample finite and not all of them zero; the bytes are
// never read outside what was given (ASan).

#include "fuzzreader.h"

#include "IrFile.h"

#include <cmath>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
	// A copy of exactly nSize bytes, so that any read past them is caught.
	const std::vector<unsigned char> bytes(pData, pData + nSize);
	const brontal::IrReadResult r = brontal::ReadWav(bytes.data(), bytes.size(), "f.wav");
	if (!r.bOk)
	{
		FUZZ_CHECK(r.sMessage.rfind("The impulse response file 'f.wav' ", 0) == 0 && r.sMessage.back() == '.',
		           "refused without its sentence: %s", r.sMessage.c_str());
		return 0;
	}
	const brontal::IrSamples& s = r.samples;
	FUZZ_CHECK(s.dSampleRate >= brontal::kIrMinRate && s.dSampleRate <= brontal::kIrMaxRate, "rate %g", s.dSampleRate);
	FUZZ_CHECK(s.Frames() >= 1 && s.Frames() <= std::lround(brontal::kIrMaxSeconds * s.dSampleRate), "%d frames",
	           s.Frames());
	FUZZ_CHECK(s.afRight.empty() || s.afRight.size() == s.afLeft.size(), "channels of %zu and %zu frames",
	           s.afLeft.size(), s.afRight.size());
	bool bSound = false;
	for (const std::vector<float>* pChannel : {&s.afLeft, &s.afRight})
		for (float x : *pChannel)
		{
			FUZZ_CHECK(std::isfinite(x), "a sample of %g", static_cast<double>(x));
			bSound = bSound || x != 0.0f;
		}
	FUZZ_CHECK(bSound, "a silent response was read");
	return 0;
}
