#pragma once

#include "MyEffect.h"

class Biquad;

// Six-branch amplifier distortion: one pre-emphasised, driven signal feeds a
// hard clipper, an exponential soft clipper and four shapers whose curves
// are tables indexed by the input level in dB. Mono while on.
class CMyDisto : public CMyEffect
{
public:
	CMyDisto();
	~CMyDisto() override;

	int Reset() override;
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;

	// Drive factor for a normalised kDistortionLevel: -40 dB at 0, +5 dB at 1.
	static float DriveGain(float fLevel);

	// One table shaper: magnitude looked up by level (iLast + 1 entries from
	// -120 dBFS to 0 dBFS), sign taken from the input.
	struct Shaper
	{
		const float* pfPos;
		const float* pfNeg;
		int iLast;
	};
	static float Shape(float fDriven, const Shaper& shaper);
	// The same, from a level already taken as 20·log10|s| + 120.
	static float ShapeAtLevel(float fDriven, float fLevel, const Shaper& shaper);

	enum
	{
		kShaper1,
		kShaper2,
		kShaper3,
		kShaper4,
		kNumShapers
	};
	static Shaper GetShaper(int iShaper);

private:
	enum
	{
		kPreEmphasis1,
		kPreEmphasis2,
		kPreEmphasis3,
		kClipInputHighPass,
		kClipPresence,
		kClipOutputLowPass,
		kShaper1LowPass,
		kShaper2LowPass,
		kShaper3LowPass,
		kShaper4LowPass,
		kNumFilters
	};

	void ConfigureFilters();

	Biquad* m_apFilters[kNumFilters];
	Shaper m_aShapers[kNumShapers];
};
