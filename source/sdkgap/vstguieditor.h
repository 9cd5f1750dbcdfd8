#pragma once
#include "widgets/cframe.h"

#include "public.sdk/source/vst/vsteditcontroller.h"

#include <memory>

namespace Steinberg {
namespace Vst {

enum CMessageResult
{
	kMessageUnknown = 0,
	kMessageNotified = 1,
};

// Receiver of named notifications (the timer's, the controller's).
class CBaseObject
{
public:
	virtual ~CBaseObject() = default;
	virtual CMessageResult notify(CBaseObject* sender, const char* message) { return kMessageUnknown; }
};

// Editor base that runs a widget frame in the host's window: a timer at
// the idle rate, open/close around the host's attach/remove, and a frame
// redraw on every timer tick.
class VSTGUIEditor : public EditorView, public CBaseObject
{
public:
	// The message the timer sends to notify.
	static constexpr const char* kMsgTimer = "CVSTGUITimer";

	explicit VSTGUIEditor(EditController* pController, ViewRect* size = nullptr);
	~VSTGUIEditor() override;

	// Builds the window inside `parent`; false when it cannot (or is open).
	virtual bool open(void* parent) = 0;
	virtual void close() = 0;

	void setIdleRate(int32 millisec) { idleRate = millisec; }
	brontal::gui::CFrame* getFrame() const { return frame.get(); }

	CMessageResult notify(CBaseObject* sender, const char* message) override;

	tresult PLUGIN_API isPlatformTypeSupported(FIDString type) SMTG_OVERRIDE;
	tresult PLUGIN_API attached(void* parent, FIDString type) SMTG_OVERRIDE;
	tresult PLUGIN_API removed() SMTG_OVERRIDE;

protected:
	// The object through which the platform reaches the host's run loop.
	FUnknown* hostContext() const { return plugFrame; }

	std::unique_ptr<brontal::gui::CFrame> frame;

private:
	int32 idleRate = 10;
	std::unique_ptr<brontal::gui::IPlatformTimer> timer;
};

} // namespace Vst
} // namespace Steinberg
