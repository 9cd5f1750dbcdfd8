#include "IrFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using brontal::IrReadResult;
using brontal::ReadWav;

namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& b, unsigned v)
{
	b.push_back(static_cast<unsigned char>(v & 0xFF));
	b.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}
void Put32(Bytes& b, std::uint32_t v)
{
	Put16(b, v & 0xFFFF);
	Put16(b, v >> 16);
}
void PutTag(Bytes& b, const char* sz)
{
	b.insert(b.end(), sz, sz + 4);
}
void PutChunk(Bytes& b, const char* szTag, const Bytes& payload, std::uint32_t uClaimed = 0xFFFFFFFFu)
{
	PutTag(b, szTag);
	Put32(b, uClaimed == 0xFFFFFFFFu ? static_cast<std::uint32_t>(payload.size()) : uClaimed);
	b.insert(b.end(), payload.begin(), payload.end());
	if (payload.size() & 1)
		b.push_back(0);
}

// The fmt chunk's fields a test file is written with.
struct FormatFields
{
	unsigned uTag = 1;
	unsigned uChannels = 1;
	std::uint32_t uRate = 48000;
	unsigned uBits = 16;
	bool bExtensible = false;
};

Bytes Format(const FormatFields& s)
{
	Bytes f;
	const unsigned uAlign = s.uChannels * s.uBits / 8;
	Put16(f, s.bExtensible ? 0xFFFE : s.uTag);
	Put16(f, s.uChannels);
	Put32(f, s.uRate);
	Put32(f, s.uRate * uAlign);
	Put16(f, uAlign);
	Put16(f, s.uBits);
	if (s.bExtensible)
	{
		Put16(f, 22);
		Put16(f, s.uBits);
		Put32(f, 3);
		Put16(f, s.uTag);
		const unsigned char tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
		f.insert(f.end(), tail, tail + 14);
	}
	return f;
}

Bytes Wav(const FormatFields& s, const Bytes& data, const Bytes& before = {}, const Bytes& after = {})
{
	Bytes body;
	PutTag(body, "WAVE");
	body.insert(body.end(), before.begin(), before.end());
	PutChunk(body, "fmt ", Format(s));
	PutChunk(body, "data", data);
	body.insert(body.end(), after.begin(), after.end());
	Bytes b;
	PutTag(b, "RIFF");
	Put32(b, static_cast<std::uint32_t>(body.size()));
	b.insert(b.end(), body.begin(), body.end());
	return b;
}

IrReadResult Read(const Bytes& b)
{
	return ReadWav(b.data(), b.size(), "cab.wav");
}

// A refusal is one sentence that names the file.
void ExpectRefused(const IrReadResult& r, const char* szWhat)
{
	EXPECT_FALSE(r.bOk) << szWhat;
	EXPECT_NE(r.sMessage.find("'cab.wav'"), std::string::npos) << r.sMessage;
	EXPECT_NE(r.sMessage.find(szWhat), std::string::npos) << r.sMessage;
	EXPECT_EQ(r.sMessage.back(), '.');
	EXPECT_EQ(r.sMessage.find(". "), std::string::npos) << r.sMessage;
}

Bytes Pcm16(std::initializer_list<int> values)
{
	Bytes d;
	for (int v : values)
		Put16(d, static_cast<unsigned>(v) & 0xFFFF);
	return d;
}

} // namespace

// Each sample format decodes to the values worked out by hand: full scale
// negative is -1, half scale 0.5, the smallest steps 2^-(bits-1).
TEST(IrFile, ReadsEveryPcmAndFloatFormat)
{
	{
		const IrReadResult r = Read(Wav({1, 1, 44100, 16}, Pcm16({-32768, 16384, 1, 0})));
		ASSERT_TRUE(r.bOk) << r.sMessage;
		EXPECT_TRUE(r.sMessage.empty());
		EXPECT_EQ(r.samples.dSampleRate, 44100.0);
		EXPECT_FALSE(r.samples.IsStereo());
		EXPECT_EQ(r.samples.afLeft, (std::vector<float>{-1.0f, 0.5f, 1.0f / 32768, 0.0f}));
	}
	{
		Bytes d; // two frames, left then right, three bytes each
		for (std::uint32_t v : {0x800000u, 0x400000u, 0x000001u, 0xFFFFFFu})
			d.insert(d.end(), {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16)});
		const IrReadResult r = Read(Wav({1, 2, 96000, 24}, d));
		ASSERT_TRUE(r.bOk) << r.sMessage;
		ASSERT_TRUE(r.samples.IsStereo());
		EXPECT_EQ(r.samples.afLeft, (std::vector<float>{-1.0f, 1.0f / 8388608}));
		EXPECT_EQ(r.samples.afRight, (std::vector<float>{0.5f, -1.0f / 8388608}));
	}
	{
		Bytes d;
		Put32(d, 0x80000000u);
		Put32(d, 0x20000000u);
		const IrReadResult r = Read(Wav({1, 1, 48000, 32}, d));
		ASSERT_TRUE(r.bOk) << r.sMessage;
		EXPECT_EQ(r.samples.afLeft, (std::vector<float>{-1.0f, 0.25f}));
	}
	{
		const IrReadResult r = Read(Wav({1, 1, 8000, 8}, Bytes{0, 192, 128, 255}));
		ASSERT_TRUE(r.bOk) << r.sMessage;
		EXPECT_EQ(r.samples.afLeft, (std::vector<float>{-1.0f, 0.5f, 0.0f, 127.0f / 128}));
	}
	for (bool bExtensible : {false, true})
	{
		Bytes d;
		for (float x : {0.75f, -1.5f})
		{
			std::uint32_t u;
			std::memcpy(&u, &x, 4);
			Put32(d, u);
		}
		const IrReadResult r = Read(Wav({3, 1, 48000, 32, bExtensible}, d));
		ASSERT_TRUE(r.bOk) << r.sMessage;
		EXPECT_EQ(r.samples.afLeft, (std::vector<float>{0.75f, -1.5f}));

		Bytes d64;
		for (double x : {0.125, -0.0625})
		{
			std::uint64_t u;
			std::memcpy(&u, &x, 8);
			Put32(d64, static_cast<std::uint32_t>(u));
			Put32(d64, static_cast<std::uint32_t>(u >> 32));
		}
		const IrReadResult r64 = Read(Wav({3, 1, 48000, 64, bExtensible}, d64));
		ASSERT_TRUE(r64.bOk) << r64.sMessage;
		EXPECT_EQ(r64.samples.afLeft, (std::vector<float>{0.125f, -0.0625f}));
	}
	const IrReadResult rx = Read(Wav({1, 2, 48000, 16, true}, Pcm16({100, -200})));
	ASSERT_TRUE(rx.bOk) << rx.sMessage;
	EXPECT_EQ(rx.samples.afRight, (std::vector<float>{-200.0f / 32768}));
}

// Chunks before and after the data, odd sizes with their pad byte, the
// format after the data: all walked over.
TEST(IrFile, WalksOtherChunksAndPadBytes)
{
	Bytes before, after;
	PutChunk(before, "LIST", Bytes{'a', 'b', 'c'});
	PutChunk(before, "junk", Bytes(7, 0xEE));
	PutChunk(after, "cue ", Bytes(5, 0x11));
	const IrReadResult r = Read(Wav({1, 1, 48000, 16}, Pcm16({8192, -8192, 4096}), before, after));
	ASSERT_TRUE(r.bOk) << r.sMessage;
	EXPECT_EQ(r.samples.afLeft, (std::vector<float>{0.25f, -0.25f, 0.125f}));

	// An odd-length 8-bit data chunk followed by its pad byte and another chunk.
	Bytes tail;
	PutChunk(tail, "smpl", Bytes(4, 0));
	const IrReadResult r8 = Read(Wav({1, 1, 48000, 8}, Bytes{255, 0, 192}, {}, tail));
	ASSERT_TRUE(r8.bOk) << r8.sMessage;
	EXPECT_EQ(r8.samples.afLeft.size(), 3u);

	Bytes b;
	PutTag(b, "RIFF");
	Put32(b, 0); // never filled in
	PutTag(b, "WAVE");
	PutChunk(b, "data", Pcm16({16384}));
	PutChunk(b, "fmt ", Format({1, 1, 22050, 16}));
	const IrReadResult rLate = Read(b);
	ASSERT_TRUE(rLate.bOk) << rLate.sMessage;
	EXPECT_EQ(rLate.samples.dSampleRate, 22050.0);
	EXPECT_EQ(rLate.samples.afLeft, (std::vector<float>{0.5f}));
}

// 8 and 384 kHz are the edges; more than two channels keep the first two
// and say so; past 2 s the response is cut there and faded over 10 ms.
TEST(IrFile, RatesChannelsAndLength)
{
	for (std::uint32_t uRate : {8000u, 384000u})
		EXPECT_TRUE(Read(Wav({1, 1, uRate, 16}, Pcm16({1000}))).bOk) << uRate;
	for (std::uint32_t uRate : {0u, 7999u, 384001u, 4000000000u})
		ExpectRefused(Read(Wav({1, 1, uRate, 16}, Pcm16({1000}))), "outside 8 to 384 kHz");

	const IrReadResult r4 = Read(Wav({1, 4, 48000, 16}, Pcm16({1, 2, 3, 4, 5, 6, 7, 8})));
	ASSERT_TRUE(r4.bOk) << r4.sMessage;
	EXPECT_EQ(r4.samples.afLeft, (std::vector<float>{1.0f / 32768, 5.0f / 32768}));
	EXPECT_EQ(r4.samples.afRight, (std::vector<float>{2.0f / 32768, 6.0f / 32768}));
	EXPECT_NE(r4.sMessage.find("4 channels: the first two"), std::string::npos) << r4.sMessage;

	// 2.5 s at 8 kHz of a constant 0.5: 16000 frames kept, the last 80 faded
	// by 0.5 + 0.5 cos(pi (k + 1) / 80).
	Bytes d;
	for (int i = 0; i < 20000; ++i)
		Put16(d, 16384);
	const IrReadResult rLong = Read(Wav({1, 1, 8000, 16}, d));
	ASSERT_TRUE(rLong.bOk) << rLong.sMessage;
	ASSERT_EQ(rLong.samples.Frames(), 16000);
	EXPECT_EQ(rLong.samples.afLeft[15919], 0.5f);
	EXPECT_NEAR(rLong.samples.afLeft[15920], 0.5 * (0.5 + 0.5 * std::cos(M_PI / 80)), 1e-7);
	EXPECT_NEAR(rLong.samples.afLeft[15959], 0.25, 1e-7);
	EXPECT_EQ(rLong.samples.afLeft[15999], 0.0f);
	EXPECT_NE(rLong.sMessage.find("2.50 s long: its first 2 s are used"), std::string::npos) << rLong.sMessage;
	EXPECT_NE(rLong.sMessage.find("'cab.wav'"), std::string::npos);
}

// Broken files: every one refused with its reason, or (a data chunk longer
// than the file) read as far as it goes with a note; no prefix of a good
// file reads past its end (the ASan build checks that part).
TEST(IrFile, RefusesBrokenFilesWithOneSentence)
{
	ExpectRefused(Read(Bytes{'R', 'I', 'F', 'F'}), "not a WAV file");
	ExpectRefused(Read(Wav({2, 1, 48000, 4}, Pcm16({1}))), "compressed format");
	ExpectRefused(Read(Wav({1, 1, 48000, 12}, Pcm16({1}))), "12-bit PCM samples");
	ExpectRefused(Read(Wav({3, 1, 48000, 16}, Pcm16({1}))), "16-bit float samples");
	ExpectRefused(Read(Wav({1, 0, 48000, 16}, Pcm16({1}))), "has no channels");
	ExpectRefused(Read(Wav({1, 1, 48000, 16}, Bytes{})), "holds no samples");
	ExpectRefused(Read(Wav({1, 1, 48000, 16}, Pcm16({0, 0, 0}))), "holds only silence");
	Bytes nan;
	Put32(nan, 0x7FC00000u);
	ExpectRefused(Read(Wav({3, 1, 48000, 32}, nan)), "not finite");

	Bytes noData;
	PutTag(noData, "RIFF");
	Put32(noData, 0);
	PutTag(noData, "WAVE");
	PutChunk(noData, "fmt ", Format({1, 1, 48000, 16}));
	ExpectRefused(Read(noData), "has no data chunk");

	Bytes badAlign = Wav({1, 2, 48000, 16}, Pcm16({1, 2}));
	badAlign[12 + 8 + 12] = 2; // block align of one channel for two
	ExpectRefused(Read(badAlign), "frame size too small");

	// A 2 GB chunk before the format hides everything after it.
	Bytes huge;
	PutTag(huge, "RIFF");
	Put32(huge, 0x7FFFFFF0u);
	PutTag(huge, "WAVE");
	PutChunk(huge, "LIST", Bytes(4, 0), 0x80000000u);
	PutChunk(huge, "fmt ", Format({1, 1, 48000, 16}));
	PutChunk(huge, "data", Pcm16({1}));
	ExpectRefused(Read(huge), "has no format chunk");

	Bytes hugeFormat;
	PutTag(hugeFormat, "RIFF");
	Put32(hugeFormat, 0);
	PutTag(hugeFormat, "WAVE");
	PutChunk(hugeFormat, "fmt ", Format({1, 1, 48000, 16}), 0xFFFFFFF0u);
	ExpectRefused(Read(hugeFormat), "format chunk that is cut short");

	// A data chunk claiming 2 GB: the frames present, and a note.
	Bytes d = Pcm16({16384, -16384, 99});
	Bytes claimed;
	PutTag(claimed, "RIFF");
	Put32(claimed, 0xFFFFFFFFu);
	PutTag(claimed, "WAVE");
	PutChunk(claimed, "fmt ", Format({1, 1, 48000, 16}));
	PutChunk(claimed, "data", d, 0x7FFFFFFFu);
	claimed.pop_back(); // the last sample is cut in half
	const IrReadResult rCut = Read(claimed);
	ASSERT_TRUE(rCut.bOk) << rCut.sMessage;
	EXPECT_EQ(rCut.samples.afLeft, (std::vector<float>{0.5f, -0.5f}));
	EXPECT_NE(rCut.sMessage.find("shorter than its data chunk claims: the 2 frames present"), std::string::npos)
		<< rCut.sMessage;

	const Bytes good = Wav({1, 2, 48000, 24, true}, Bytes(60, 0x40));
	for (size_t n = 0; n < good.size(); ++n)
	{
		const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
		const IrReadResult r = Read(cut);
		if (!r.bOk)
			EXPECT_NE(r.sMessage.find("'cab.wav'"), std::string::npos) << n;
		else
			EXPECT_LE(r.samples.Frames(), 10) << n;
	}
}

// The file itself: read through its path, and a missing one named.
TEST(IrFile, ReadsFromAPath)
{
	const std::string sPath = testing::TempDir() + "brontal ir \xc3\xa9.wav";
	const Bytes b = Wav({1, 1, 44100, 16}, Pcm16({16384, -8192}));
	std::ofstream(sPath, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
	const IrReadResult r = brontal::ReadWavFile(sPath);
	ASSERT_TRUE(r.bOk) << r.sMessage;
	EXPECT_EQ(r.samples.afLeft, (std::vector<float>{0.5f, -0.25f}));
	std::remove(sPath.c_str());

	const IrReadResult rMissing = brontal::ReadWavFile("/nowhere/at all/missing.wav");
	EXPECT_FALSE(rMissing.bOk);
	EXPECT_EQ(rMissing.sMessage, "The impulse response file 'missing.wav' cannot be opened.");
	EXPECT_EQ(brontal::FileNameOf("C:\\irs\\a b.wav"), "a b.wav");
}
