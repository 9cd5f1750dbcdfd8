#pragma once

// The cabinet as the editor shows and changes it, whoever holds it: the
// VST 3 controller, which sends the processor what the player picks. An
// editor without one (the LV2 UI) shows the built-in cabinet.

#include <string>

namespace brontal {

struct CabinetInUse
{
	// Empty for the built-in cabinet.
	std::string sName;
	double dSeconds = 0.0;
	bool bStereo = false;
	// Why the last load or step changed nothing; empty after one that worked.
	std::string sMessage;
};

class IEditorCabinet
{
public:
	virtual CabinetInUse cabinetInUse() const = 0;
	// A response file (a UTF-8 path); one that cannot be used leaves the
	// cabinet as it was, with the reader's sentence as the message.
	virtual void cabinetLoad(const std::string& sPath) = 0;
	// The previous (-1) or next (+1) WAV file beside the one last picked.
	virtual void cabinetStep(int iStep) = 0;
	virtual void cabinetBuiltIn() = 0;
	// A failure the editor met on its own (no file dialog, say), shown the same way.
	virtual void cabinetTrouble(const std::string& sMessage) = 0;

protected:
	~IEditorCabinet() = default;
};

} // namespace brontal
