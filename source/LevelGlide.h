#pragma once

#include <algorithm>

// A continuous level as a block hears it: on its way, in a straight line
// over a fixed time, from where it stood to the latest value it was given.
// A new value during a glide starts a new one from where that one stands.
// The block asks for its samples in runs: while the level glides a run is
// at most kStepSamples long and the block moves from the run's first value
// to its last across it (or, where a level costs too much to change every
// sample, takes the last for the whole run); settled, one run is the whole
// request at one value, so a block at rest works exactly as it always did.
// A glide that does not know its level yet (after a reset or a snap) takes
// the next value at once: loaded settings never glide in from the defaults.
class CLevelGlide
{
public:
	// Long enough that a 45 dB jump of the drive is a swell rather than a
	// thump, short enough that automation still lands on a 32nd note at
	// 200 BPM (37 ms).
	static constexpr double kGlideSeconds = 0.02;
	// 0.7 ms at 48 kHz.
	static constexpr int kStepSamples = 32;

	struct Run
	{
		int iCount;
		float fFrom;
		float fTo;
		bool Moving() const { return !(fFrom == fTo); }
	};

	void Snap() { m_bKnown = false; }

	// The value the host gives now, at the block's present rate.
	void Follow(float fTarget, double dSampleRate)
	{
		if (!m_bKnown)
		{
			m_bKnown = true;
			m_fValue = m_fTarget = fTarget;
			m_iRemaining = 0;
			return;
		}
		if (fTarget == m_fTarget)
			return;
		m_fTarget = fTarget;
		const double dLength = kGlideSeconds * dSampleRate + 0.5;
		m_iRemaining = dLength >= 1.0 && dLength < 1.0e9 ? static_cast<int>(dLength) : 1;
	}

	// The next run of at most iMax samples (iMax > 0), and the level moved on by it.
	Run Next(int iMax)
	{
		if (m_iRemaining <= 0)
			return {iMax, m_fValue, m_fValue};
		const int n = std::min({iMax, kStepSamples, m_iRemaining});
		const float fFrom = m_fValue;
		m_iRemaining -= n;
		m_fValue = m_iRemaining == 0 ? m_fTarget
		                             : fFrom + (m_fTarget - fFrom) * static_cast<float>(n) /
		                                           static_cast<float>(m_iRemaining + n);
		return {n, fFrom, m_fValue};
	}

private:
	bool m_bKnown = false;
	float m_fValue = 0.0f;
	float m_fTarget = 0.0f;
	int m_iRemaining = 0;
};
