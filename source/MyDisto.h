#pragma once

#include "MyEffect.h"

// Six-branch amplifier distortion: one pre-emphasised, driven signal feeds a
// hard clipper, an exponential soft clipper and four shapers whose curves
// are tables indexed by the input level in dB. Mono while on.
class CMyDisto : public CMyEffect
{
public:
	CMyDisto();

	int Reset() override;
	int SetSampleRate(const double* pdSampleRate) override;
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;

	// Drive factor for a normalised kDistortionLevel: -40 dB at 0, +5 dB at 1.
	static float DriveGain(float fLevel);

	// The four table shapers with their mix weights, as one curve of the
	// driven sample: each magnitude looked up by level (-120 dBFS to 0 dBFS),
	// sign taken from the sample.
	static float Shape(float fDriven);

	// Level index of a driven sample on the finest table (200 entries per dB,
	// entry 0 at -120 dBFS), clamped to the table; 0 for 0 and NaN.
	static float LevelIndex(float fDriven);

private:
	// One second-order section, transposed direct form II, coefficients and
	// state in double as the chain's filter element keeps them.
	struct Section
	{
		double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
		double z1 = 0.0, z2 = 0.0;

		float Run(float fIn)
		{
			const double x = fIn;
			const double y = b0 * x + z1;
			z1 = b1 * x + z2 - a1 * y;
			z2 = b2 * x - a2 * y;
			return static_cast<float>(y);
		}
	};

	enum
	{
		kClipInputHighPass,
		kClipPresence,
		kClipOutputLowPass,
		kShaperLowPass,
		kNumSections
	};
	// Samples handled per pass over the block's stages.
	static constexpr int kChunk = 256;

	void DesignFilters();
	void ProcessChunk(const float* pfIn, float* pfOut1, float* pfOut2, int iCount);

	// The three pre-emphasis peaks side by side, one per lane of two pairs
	// (the fourth lane idle), since they all filter the same input.
	struct PeakBank
	{
		alignas(16) double b0[4], b1[4], b2[4], a1[4], a2[4], z1[4], z2[4];
	};

	PeakBank m_peaks = {};
	Section m_aSections[kNumSections];
	double m_dDesignedRate = 0.0;
	float m_fDriveLevel = -1.0f;
	float m_fDrive = 0.0f;
	// Per-chunk stage outputs.
	float m_afDriven[kChunk];
	float m_afClipped[kChunk];
	float m_afShaped[kChunk];
	float m_afSoft[kChunk];
};
