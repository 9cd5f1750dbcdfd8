#include "vstguieditor.h"

#include <cstring>

namespace Steinberg {
namespace Vst {

VSTGUIEditor::VSTGUIEditor(EditController* pController, ViewRect* size) : EditorView(pController, size) {}

VSTGUIEditor::~VSTGUIEditor() = default;

CMessageResult VSTGUIEditor::notify(CBaseObject* sender, const char* message)
{
	if (message && std::strcmp(message, kMsgTimer) == 0)
	{
		if (frame)
			frame->idle();
		return kMessageNotified;
	}
	return kMessageUnknown;
}

tresult PLUGIN_API VSTGUIEditor::isPlatformTypeSupported(FIDString type)
{
	return type && std::strcmp(type, brontal::gui::platformWindowType()) == 0 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API VSTGUIEditor::attached(void* parent, FIDString type)
{
	// Attached already: refused before anything of the open editor changes.
	if (isPlatformTypeSupported(type) != kResultTrue || frame)
		return kResultFalse;
	timer = brontal::gui::createPlatformTimer(hostContext(), uint32_t(idleRate), [this] { notify(this, kMsgTimer); });
	if (!open(parent))
	{
		timer.reset();
		return kResultFalse;
	}
	EditorView::attached(parent, type);
	if (plugFrame)
	{
		ViewRect size = rect;
		plugFrame->resizeView(this, &size);
	}
	return kResultTrue;
}

tresult PLUGIN_API VSTGUIEditor::removed()
{
	timer.reset();
	close();
	return EditorView::removed();
}

} // namespace Vst
} // namespace Steinberg
