#pragma once

#include "editorparameters.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

#include <vector>

class BrontalEditorView;

namespace Steinberg {
namespace Vst {

// Publishes the parameters, mirrors the processor's state, keeps its own,
// and forwards every parameter value to the open editors.
class BrontalController : public EditControllerEx1, public IMidiMapping, public brontal::IEditorParameters
{
public:
	BrontalController() = default;

	static FUnknown* createInstance(void* /*context*/)
	{
		return static_cast<IEditController*>(new BrontalController);
	}

	tresult PLUGIN_API initialize(FUnknown* context) SMTG_OVERRIDE;
	tresult PLUGIN_API terminate() SMTG_OVERRIDE;
	tresult PLUGIN_API setComponentState(IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API setState(IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API getState(IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API getParameterInfo(int32 paramIndex, ParameterInfo& info) SMTG_OVERRIDE;
	tresult PLUGIN_API setParamNormalized(ParamID tag, ParamValue value) SMTG_OVERRIDE;
	IPlugView* PLUGIN_API createView(FIDString name) SMTG_OVERRIDE;
	tresult receiveText(const char8* text) SMTG_OVERRIDE;

	void editorAttached(EditorView* editor) SMTG_OVERRIDE;
	void editorRemoved(EditorView* editor) SMTG_OVERRIDE;

	// What the editor reads and writes: the parameters, edits to the host.
	double editorValue(int iId) const override;
	bool editorDefault(int iId, double& dDefault) const override;
	void editorBegin(int iId) override;
	void editorChange(int iId, double dValue) override;
	void editorEnd(int iId) override;

	//---IMidiMapping---
	tresult PLUGIN_API getMidiControllerAssignment(int32 busIndex, int16 channel, CtrlNumber midiControllerNumber,
	                                               ParamID& id) SMTG_OVERRIDE;

	OBJ_METHODS(BrontalController, EditControllerEx1)
	DEFINE_INTERFACES
		DEF_INTERFACE(IMidiMapping)
		DEF_INTERFACE(IUnitInfo)
	END_DEFINE_INTERFACES(EditControllerEx1)
	REFCOUNT_METHODS(EditControllerEx1)

private:
	tresult applyState(IBStream* state);

	std::vector<BrontalEditorView*> m_aViews;
};

} // namespace Vst
} // namespace Steinberg
