#pragma once

// A switch's crossfade between the path it left and the one it chose.
// Settled, a block runs one path exactly as it always did; for about 10 ms
// after a change it runs both and mixes them here. A fade that does not
// know the switch yet (after a reset or a snap) adopts the next value at
// once, so loaded settings never fade in from the defaults.
class CSwitchFade
{
public:
	static constexpr double kFadeSeconds = 0.01;

	// How the two paths are weighted: by gains that sum to 1, for paths that
	// carry the same signal (their sum keeps its level), or by gains whose
	// squares sum to 1, for paths that do not (their power keeps its level).
	enum Law
	{
		kEqualGain,
		kEqualPower
	};

	void Forget()
	{
		m_bKnown = false;
		m_iLength = 0;
	}

	// The switch as it stands now. A change starts a fade; a change back
	// during one turns it round from where it is.
	void Follow(bool bOn, double dSampleRate)
	{
		if (!m_bKnown)
		{
			m_bKnown = true;
			m_bOn = bOn;
			m_iLength = 0;
			return;
		}
		if (bOn == m_bOn)
			return;
		m_bOn = bOn;
		if (m_iLength > 0)
		{
			m_iDone = m_iLength - m_iDone;
			return;
		}
		const double dLength = kFadeSeconds * dSampleRate;
		m_iLength = dLength >= 1.0 ? static_cast<int>(dLength < 65536.0 ? dLength + 0.5 : 65536.0) : 1;
		m_iDone = 0;
	}

	bool Known() const { return m_bKnown; }
	bool On() const { return m_bOn; }
	bool Fading() const { return m_iLength > 0; }
	// Settled on the off path: the block may skip its on path.
	bool Off() const { return !m_bOn && m_iLength == 0; }

	// The next iCount samples of the fade: each pfOn (holding the on path)
	// becomes the on path's share of it plus the off path's share of pfOff.
	// pfOff2 and pfOn2 may be null for a one-channel path.
	void Crossfade(const float* pfOff1, float* pfOn1, const float* pfOff2, float* pfOn2, int iCount, Law law);

private:
	bool m_bKnown = false;
	bool m_bOn = false;
	int m_iLength = 0;
	int m_iDone = 0;
};
