// The LV2 UI: the VST 3 editor's view, widgets and art in the host's X11
// window. The view reaches its parameters through IEditorParameters, here
// the host's ports; its platform layer reaches the run loop through the
// host context it is given, here one driven by the host's idle calls.

#include "brontaleditorview.h"
#include "lv2/lv2ports.h"
#include "platform/x11/x11window.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <poll.h>

#include <chrono>
#include <cstring>
#include <new>
#include <vector>

namespace brontal::lv2 {
namespace {

using namespace Steinberg;

// The run loop the view's platform layer registers its connection and
// timer with, and the frame it asks for its size; served from idle().
class IdleRunLoop final : public IPlugFrame, public Linux::IRunLoop
{
public:
	explicit IdleRunLoop(const LV2UI_Resize* pResize) : m_pResize(pResize) {}
	~IdleRunLoop()
	{
		for (const Handler& h : m_handlers)
			h.pHandler->release();
		for (const Timer& t : m_timers)
			t.pHandler->release();
	}

	tresult PLUGIN_API resizeView(IPlugView* /*view*/, ViewRect* pSize) override
	{
		if (!pSize)
			return kInvalidArgument;
		if (m_pResize)
			m_pResize->ui_resize(m_pResize->handle, pSize->getWidth(), pSize->getHeight());
		return kResultOk;
	}

	tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* pHandler, Linux::FileDescriptor fd) override
	{
		if (!pHandler)
			return kInvalidArgument;
		pHandler->addRef();
		m_handlers.push_back({pHandler, fd});
		return kResultOk;
	}
	tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler* pHandler) override
	{
		for (auto it = m_handlers.begin(); it != m_handlers.end(); ++it)
			if (it->pHandler == pHandler)
			{
				m_handlers.erase(it);
				pHandler->release();
				return kResultOk;
			}
		return kInvalidArgument;
	}
	tresult PLUGIN_API registerTimer(Linux::ITimerHandler* pHandler, Linux::TimerInterval ms) override
	{
		if (!pHandler || ms == 0)
			return kInvalidArgument;
		pHandler->addRef();
		m_timers.push_back({pHandler, std::chrono::milliseconds(ms), Clock::now() + std::chrono::milliseconds(ms)});
		return kResultOk;
	}
	tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* pHandler) override
	{
		for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
			if (it->pHandler == pHandler)
			{
				m_timers.erase(it);
				pHandler->release();
				return kResultOk;
			}
		return kInvalidArgument;
	}

	tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
	{
		QUERY_INTERFACE(iid, obj, FUnknown::iid, IPlugFrame)
		QUERY_INTERFACE(iid, obj, IPlugFrame::iid, IPlugFrame)
		QUERY_INTERFACE(iid, obj, Linux::IRunLoop::iid, Linux::IRunLoop)
		*obj = nullptr;
		return kNoInterface;
	}
	// Owned by the UI, which outlives every registration.
	uint32 PLUGIN_API addRef() override { return 1; }
	uint32 PLUGIN_API release() override { return 1; }

	// What a run loop would have done since the last call: ready
	// descriptors served, due timers fired (each once, however late).
	void Idle()
	{
		// Copies: a handler may unregister itself or others.
		const std::vector<Handler> handlers = m_handlers;
		for (const Handler& h : handlers)
		{
			pollfd fd = {h.fd, POLLIN, 0};
			if (poll(&fd, 1, 0) > 0 && Registered(h.pHandler))
				h.pHandler->onFDIsSet(h.fd);
		}
		const Clock::time_point now = Clock::now();
		std::vector<Linux::ITimerHandler*> due;
		for (Timer& t : m_timers)
			if (t.next <= now)
			{
				due.push_back(t.pHandler);
				t.next = now + t.interval;
			}
		for (Linux::ITimerHandler* pHandler : due)
			if (Registered(pHandler))
				pHandler->onTimer();
	}

private:
	using Clock = std::chrono::steady_clock;
	struct Handler
	{
		Linux::IEventHandler* pHandler;
		Linux::FileDescriptor fd;
	};
	struct Timer
	{
		Linux::ITimerHandler* pHandler;
		Clock::duration interval;
		Clock::time_point next;
	};
	bool Registered(const FUnknown* p) const
	{
		for (const Handler& h : m_handlers)
			if (h.pHandler == p)
				return true;
		for (const Timer& t : m_timers)
			if (t.pHandler == p)
				return true;
		return false;
	}

	const LV2UI_Resize* m_pResize;
	std::vector<Handler> m_handlers;
	std::vector<Timer> m_timers;
};

// The words of the notify port's news; all 0 without a URID map, when
// the UI hears the control ports alone.
struct NotifyUris
{
	LV2_URID eventTransfer = 0, object = 0, atomInt = 0, atomFloat = 0;
	LV2_URID controlValue = 0, port = 0, value = 0;

	explicit NotifyUris(const LV2_URID_Map* pMap)
	{
		if (!pMap)
			return;
		const auto map = [pMap](const char* szUri) { return pMap->map(pMap->handle, szUri); };
		eventTransfer = map(LV2_ATOM__eventTransfer);
		object = map(LV2_ATOM__Object);
		atomInt = map(LV2_ATOM__Int);
		atomFloat = map(LV2_ATOM__Float);
		controlValue = map(kControlValueUri);
		port = map(kControlPortUri);
		value = map(kControlValueKeyUri);
	}
};

class Ui final : public IEditorParameters
{
public:
	Ui(const PortLayout& layout, LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* pTouch,
	   const LV2UI_Resize* pResize, const LV2_URID_Map* pMap)
	    : m_layout(layout), m_write(write), m_controller(controller), m_pTouch(pTouch), m_uris(pMap),
	      m_runLoop(pResize), m_pView(new BrontalEditorView(nullptr, *this))
	{
		for (const ParamDef& def : kParams)
			m_adValues[def.iId] = def.fDefault;
		m_pView->setFrame(&m_runLoop);
	}
	~Ui()
	{
		m_pView->removed();
		m_pView->release();
	}
	Ui(const Ui&) = delete;
	Ui& operator=(const Ui&) = delete;

	// The editor's own window inside the parent, or 0.
	uintptr_t Open(void* pParent)
	{
		if (m_pView->attached(pParent, kPlatformTypeX11EmbedWindowID) != kResultTrue)
			return 0;
		const auto* pWindow = dynamic_cast<x11::X11Window*>(m_pView->getFrame()->getPlatformWindow());
		return pWindow ? pWindow->window() : 0;
	}

	void PortEvent(uint32_t uPort, uint32_t uSize, uint32_t uFormat, const void* pBuffer)
	{
		if (uFormat != 0 && uFormat == m_uris.eventTransfer && static_cast<int>(uPort) == m_layout.Notify())
			ControlValue(uSize, static_cast<const LV2_Atom*>(pBuffer));
		if (uFormat != 0 || uSize != sizeof(float) || !pBuffer)
			return;
		float fValue;
		std::memcpy(&fValue, pBuffer, sizeof fValue);
		ShowPort(uPort, fValue);
	}

	void Idle() { m_runLoop.Idle(); }

	double editorValue(int iId) const override { return m_adValues[iId]; }
	bool editorDefault(int iId, double& dDefault) const override
	{
		dDefault = ParamDefOf(iId).fDefault;
		return true;
	}
	void editorBegin(int iId) override { Touch(iId, true); }
	void editorChange(int iId, double dValue) override
	{
		const int iPort = m_layout.ParamPort(iId);
		if (iPort < 0)
			return;
		m_adValues[iId] = dValue;
		m_pView->updateParameter(Vst::ParamID(iId), dValue);
		const float fValue = static_cast<float>(dValue);
		m_write(m_controller, static_cast<uint32_t>(iPort), sizeof fValue, 0, &fValue);
	}
	void editorEnd(int iId) override { Touch(iId, false); }
	// The program choice is no port (lv2ports.h): an LV2 host loads presets
	// its own way, so the panel shows no preset bar here.
	std::vector<std::string> editorPrograms() const override { return {}; }

private:
	// A control the DSP moved by itself (MIDI, a program, a state): shown,
	// and written to its port, so that the host's port holds the value in
	// force and the player's next move of it is a change the DSP hears.
	void ControlValue(uint32_t uSize, const LV2_Atom* pAtom)
	{
		if (!pAtom || uSize < sizeof(LV2_Atom_Object) || pAtom->type != m_uris.object ||
		    uSize < sizeof(LV2_Atom) + pAtom->size)
			return;
		const auto* pObject = reinterpret_cast<const LV2_Atom_Object*>(pAtom);
		if (pObject->body.otype != m_uris.controlValue)
			return;
		const LV2_Atom* pPort = nullptr;
		const LV2_Atom* pValue = nullptr;
		lv2_atom_object_get(pObject, m_uris.port, &pPort, m_uris.value, &pValue, 0);
		if (!pPort || pPort->type != m_uris.atomInt || pPort->size < sizeof(int32_t) || !pValue ||
		    pValue->type != m_uris.atomFloat || pValue->size < sizeof(float))
			return;
		const int32_t iPort = reinterpret_cast<const LV2_Atom_Int*>(pPort)->body;
		const float fValue = reinterpret_cast<const LV2_Atom_Float*>(pValue)->body;
		for (const ParamDef& def : kParams)
			if (m_layout.ParamPort(def.iId) == iPort && !IsOutputPort(def))
			{
				ShowPort(static_cast<uint32_t>(iPort), fValue);
				m_write(m_controller, static_cast<uint32_t>(iPort), sizeof fValue, 0, &fValue);
			}
	}

	void ShowPort(uint32_t uPort, float fValue)
	{
		for (const ParamDef& def : kParams)
			if (m_layout.ParamPort(def.iId) == static_cast<int>(uPort) && !IsEnabledPort(def))
			{
				m_adValues[def.iId] = fValue;
				m_pView->updateParameter(Vst::ParamID(def.iId), fValue);
			}
	}

	void Touch(int iId, bool bGrabbed)
	{
		const int iPort = m_layout.ParamPort(iId);
		if (m_pTouch && iPort >= 0)
			m_pTouch->touch(m_pTouch->handle, static_cast<uint32_t>(iPort), bGrabbed);
	}

	const PortLayout& m_layout;
	const LV2UI_Write_Function m_write;
	const LV2UI_Controller m_controller;
	const LV2UI_Touch* const m_pTouch;
	const NotifyUris m_uris;
	double m_adValues[kNumParams] = {};
	IdleRunLoop m_runLoop;
	BrontalEditorView* m_pView;
};

template <typename T> const T* Feature(const LV2_Feature* const* features, const char* szUri)
{
	for (const LV2_Feature* const* p = features; p && *p; ++p)
		if (std::strcmp((*p)->URI, szUri) == 0)
			return static_cast<const T*>((*p)->data);
	return nullptr;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor* /*descriptor*/, const char* szPluginUri, const char* /*bundle*/,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* pWidget,
                         const LV2_Feature* const* features)
{
	void* pParent = nullptr;
	for (const LV2_Feature* const* p = features; p && *p; ++p)
		if (std::strcmp((*p)->URI, LV2_UI__parent) == 0)
			pParent = (*p)->data;
	if (!pParent || !write || !pWidget)
		return nullptr;
	const PortLayout& layout = std::strcmp(szPluginUri, kMonoPluginUri) == 0 ? kMono : kStereo;
	Ui* pUi = new (std::nothrow) Ui(layout, write, controller, Feature<LV2UI_Touch>(features, LV2_UI__touch),
	                                Feature<LV2UI_Resize>(features, LV2_UI__resize),
	                                Feature<LV2_URID_Map>(features, LV2_URID__map));
	if (!pUi)
		return nullptr;
	const uintptr_t window = pUi->Open(pParent);
	if (!window)
	{
		delete pUi;
		return nullptr;
	}
	*pWidget = reinterpret_cast<LV2UI_Widget>(window);
	return pUi;
}

void Cleanup(LV2UI_Handle handle)
{
	delete static_cast<Ui*>(handle);
}

void PortEvent(LV2UI_Handle handle, uint32_t uPort, uint32_t uSize, uint32_t uFormat, const void* pBuffer)
{
	static_cast<Ui*>(handle)->PortEvent(uPort, uSize, uFormat, pBuffer);
}

int Idle(LV2UI_Handle handle)
{
	static_cast<Ui*>(handle)->Idle();
	return 0;
}

const void* ExtensionData(const char* szUri)
{
	static const LV2UI_Idle_Interface idle = {Idle};
	if (std::strcmp(szUri, LV2_UI__idleInterface) == 0)
		return &idle;
	return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, Instantiate, Cleanup, PortEvent, ExtensionData};

} // namespace
} // namespace brontal::lv2

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t uIndex)
{
	return uIndex == 0 ? &brontal::lv2::kDescriptor : nullptr;
}
