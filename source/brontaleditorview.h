#pragma once

#include "public.sdk/source/vst/vsteditcontroller.h"

// Temporary minimal view until the editor lands.
class BrontalEditorView : public Steinberg::Vst::EditorView
{
public:
	explicit BrontalEditorView(Steinberg::Vst::EditController* pController) : EditorView(pController) {}
	void updateParameter(Steinberg::Vst::ParamID /*tag*/, Steinberg::Vst::ParamValue /*value*/) {}
	void notify(void* /*pSender*/, const char* /*szMessage*/) {}
};
