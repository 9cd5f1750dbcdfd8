#pragma once

// What the editor reads and writes of the parameters, whoever holds them:
// the VST 3 controller, or an LV2 UI that talks to its host's ports.

#include <string>
#include <vector>

namespace brontal {

class IEditorParameters
{
public:
	// Normalised values, 0..1, by parameter id.
	virtual double editorValue(int iId) const = 0;
	// False for a parameter that has none.
	virtual bool editorDefault(int iId, double& dDefault) const = 0;
	// A gesture on a control: begin, any number of values, end.
	virtual void editorBegin(int iId) = 0;
	virtual void editorChange(int iId, double dValue) = 0;
	virtual void editorEnd(int iId) = 0;
	// The programs' names, in the order of the program parameter's values;
	// none where the program choice is no parameter of the editor's.
	virtual std::vector<std::string> editorPrograms() const = 0;

protected:
	~IEditorParameters() = default;
};

} // namespace brontal
