#pragma once

#include "MyEffect.h"
#include "brontalparams.h"

#include <algorithm>
#include <random>
#include <vector>

// Parameter cells at their defaults and the pointer table a block reads them
// through, as the processor and the chain set them up.
struct ParamTable
{
	ParamCell afCells[kNumParams];
	ParamCell* apTable[kNumParams] = {};

	ParamTable()
	{
		for (int i = 0; i < kNumParams; ++i)
			afCells[i].store(kDefaultParamValues[i]);
		for (const ParamDef& def : kParams)
			apTable[def.iId] = &afCells[def.iId];
	}
	void Set(int iId, float fValue) { afCells[iId].store(fValue); }
	float Get(int iId) const { return afCells[iId].load(); }
};

// A block attached the way the chain attaches it: rate, tempo, table, reset.
struct BlockRig
{
	ParamTable params;
	double dRate;
	ParamCell fTempo{120.0f};

	explicit BlockRig(double dSampleRate = 48000.0) : dRate(dSampleRate) {}

	void Attach(CMyEffect& effect, bool bWithTempo = false)
	{
		effect.SetSampleRate(&dRate);
		if (bWithTempo)
			effect.SetTempo(&fTempo);
		effect.SetParams(params.apTable);
		effect.Reset();
	}
};

// Runs a mono or stereo signal through a block in chunks of at most iBlock
// samples, as the chain does; returns both outputs.
inline void RunBlock(CMyEffect& effect, const std::vector<float>& in1, const std::vector<float>& in2,
                     std::vector<float>& out1, std::vector<float>& out2, int iBlock = 1024)
{
	out1.assign(in1.size(), 0.0f);
	out2.assign(in1.size(), 0.0f);
	for (size_t i = 0; i < in1.size(); i += static_cast<size_t>(iBlock))
	{
		const int n = static_cast<int>(std::min(in1.size() - i, static_cast<size_t>(iBlock)));
		effect.Process(&in1[i], &in2[i], &out1[i], &out2[i], n);
	}
}

// Uniform white noise in -1..1, the same for the same seed.
inline std::vector<float> Noise(size_t n, unsigned uSeed)
{
	std::mt19937 rng(uSeed);
	std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
	std::vector<float> v(n);
	for (float& f : v)
		f = dist(rng);
	return v;
}
