#pragma once

#include "Biquad.h"
#include "MyEffect.h"

// Fixed seven-band tone shaping: parallel peak sections averaged, then an
// output gain. The curve is one of four voicings, picked by the block's
// place in the chain and by the distortion switch.
class CMyEqu : public CMyEffect
{
public:
	static constexpr int kNumBands = 7;

	CMyEqu();
	~CMyEqu() override;

	int Reset() override;
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;
	int Configure(int i1, int i2, int i3, int i4, int i5, int i6, int i7, int i8, int i9, int i10,
	              bool bPostCabinet) override;
	// Whether the second input differs from the first (a stereo cabinet
	// response before it): then each channel has a bank of its own.
	void SetStereo(bool bStereo);

private:
	// The bands' designs; they filter through m_bank.
	Biquad* m_apBands[kNumBands];
	BiquadBank m_bank;
	BiquadBank m_bankRight;
	bool m_bStereo = false;
	// What the bank's coefficients were designed for: the voicing and the
	// rate. A block that changes neither designs nothing.
	const void* m_pDesignedVoicing = nullptr;
	float m_fDesignedRate = 0.0f;
	float m_fOutputGain = 1.0f;
	int m_aiConfig[10] = {};
	bool m_bPostCabinet = false;
};
