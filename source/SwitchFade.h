#pragma once

// A switch's crossfade between the path it left and the one it chose.
// Settled, a block runs one path exactly as it always did; for about 10 ms
// after a change it runs both and mixes them here. A path with a memory that
// stood still while it was off (a detector, a ring) is first run unheard,
// for as long as that memory reaches back, and only then faded in: what
// fades in is the present signal, not what was held from before. A fade
// that does not know the switch yet (after a reset or a snap) adopts the
// next value at once, so loaded settings never fade in from the defaults.
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
		m_iFill = 0;
	}

	// The switch as it stands now. A change starts a fade; a change back
	// during one turns it round from where it is. Switched on from settled
	// off, the on path first runs unheard for iFill samples; switched off
	// again before it was heard, it is off at once.
	void Follow(bool bOn, double dSampleRate, int iFill = 0);

	bool Known() const { return m_bKnown; }
	// Where the switch stands (not how far the sound has followed it).
	bool On() const { return m_bOn; }
	// Both paths are needed: the on path fills or the two fade.
	bool Mixing() const { return m_iLength > 0; }
	// Settled on the off path: the block may skip its on path.
	bool Off() const { return !m_bOn && m_iLength == 0; }

	// The next iCount samples of the change: each pfOn (holding the on path)
	// becomes pfOff while the on path fills, then the on path's share of
	// the fade plus the off path's share of pfOff, then stays where the fade
	// ended. pfOff2 and pfOn2 may be null for a one-channel path.
	void Crossfade(const float* pfOff1, float* pfOn1, const float* pfOff2, float* pfOn2, int iCount, Law law);

private:
	bool m_bKnown = false;
	bool m_bOn = false;
	// The fade's length and the samples of it done; 0 length when settled.
	int m_iLength = 0;
	int m_iDone = 0;
	// Samples the on path still runs unheard before its fade begins.
	int m_iFill = 0;
};
