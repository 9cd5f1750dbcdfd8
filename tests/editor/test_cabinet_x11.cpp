// The player's cabinet from the editor on X11: the LOAD button through the
// desktop's file dialog (stand-in programs first on PATH), previous and
// next through the folder, the built-in cabinet, a file that cannot be
// used, a reopened project's response, and a file dropped on the window
// by a drag-and-drop source of the test's own.
// gtest and the parameter table before Xlib, whose macros (None, Bool) clash with their names.
#include <gtest/gtest.h>

#include "bundlefixture.h"
#include "editorfixture.h"

#include "cabinetpanel.h"
#include "cabinetpayload.h"
#include "expectations.h"
#include "wavfile.h"

#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace brontal;
using namespace brontal::editortest;
using namespace Steinberg;
using namespace Steinberg::Vst;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<char>;

// The three responses of the folder, in the order a player reads their
// names (a byte order would put "Studio" before "open-back").
struct Response
{
	const char* szName;
	std::vector<float> left, right;
	const char* szLine;
};

const std::vector<Response>& Folder()
{
	static const std::vector<Response> aFolder = {
	    {"Closed back 2x12.wav", cabinettest::Decaying(12000, 5), {}, "Closed back 2x12  0.25 s  mono"},
	    {"open-back 1x12.WAV", cabinettest::Decaying(4800, 6), cabinettest::Decaying(4800, 7),
	     "open-back 1x12  0.10 s  stereo"},
	    {"Studio 4x12.wav", cabinettest::Decaying(24000, 8), {}, "Studio 4x12  0.50 s  mono"},
	};
	return aFolder;
}

// The midpoint of one of the section's boxes.
std::pair<int, int> Centre(const int (&aiBox)[4])
{
	return {(aiBox[0] + aiBox[2]) / 2, (aiBox[1] + aiBox[3]) / 2};
}

class CabinetEditorTest : public EditorFixture
{
protected:
	void SetUp() override
	{
		EditorFixture::SetUp();
		char szRoot[] = "/tmp/brontal-cabinet-XXXXXX";
		ASSERT_NE(mkdtemp(szRoot), nullptr);
		m_root = szRoot;
		fs::create_directories(m_root / "irs");
		fs::create_directories(m_root / "bin");
		fs::create_directories(m_root / "other");
		for (const Response& response : Folder())
			wavtest::WriteWav(path(response), 48000, response.left, response.right);
		std::ofstream(m_root / "irs" / "notes.txt") << "not a response\n";
		std::ofstream(m_root / "other" / "broken.wav") << "not a wav file at all";
		const char* szPath = std::getenv("PATH");
		m_sPath = szPath ? szPath : "";
		setenv("PATH", (m_root / "bin").c_str(), 1);
		instance->activate({});
	}
	void TearDown() override
	{
		setenv("PATH", m_sPath.c_str(), 1);
		std::error_code error;
		fs::remove_all(m_root, error);
		EditorFixture::TearDown();
	}

	std::string path(const Response& response) const { return (m_root / "irs" / response.szName).string(); }

	// A stand-in for a dialog program: it answers sPath when asked the way
	// the editor must ask (a WAV filter), and fails otherwise.
	void dialogProgram(const char* szName, const char* szMustSee, const std::string& sPath)
	{
		const fs::path program = m_root / "bin" / szName;
		std::ofstream(program) << "#!/bin/sh\ncase \"$*\" in\n  " << szMustSee << ") printf '%s\\n' '" << sPath
		                       << "' ;;\n  *) exit 5 ;;\nesac\n";
		fs::permissions(program, fs::perms::owner_all);
	}

	void click(const int (&aiBox)[4])
	{
		const auto [x, y] = Centre(aiBox);
		session->click(x, y);
	}

	// Ticks until the panel shows the look (the dialog runs beside the
	// editor), then checks it; three seconds at most.
	void expectShown(const Look& look, const std::string& sName)
	{
		const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
		const gui::CBitmap expected = compose(look);
		while (std::chrono::steady_clock::now() < end && differences(session->screenshot(), expected, 0) != 0)
		{
			std::this_thread::sleep_for(std::chrono::milliseconds(20));
			session->tick();
		}
		expectLook(session->screenshot(), look, sName);
	}

	static Look showing(const std::string& sLine, const std::string& sMessage = {})
	{
		Look look = defaultLook();
		look.sCabinet = sLine;
		look.sCabinetMessage = sMessage;
		return look;
	}

	// The processor's state ends with the response's chunk payload: what
	// the processor holds (tests/bundle/test_cabinet.cpp checks the rest).
	Bytes state()
	{
		host::ByteStream stream;
		EXPECT_EQ(instance->component()->getState(&stream), kResultOk);
		return stream.bytes();
	}
	Bytes payload(const Response& response) const
	{
		return cabinettest::Payload(48000, response.left, response.right, 3, response.szName, path(response));
	}
	void expectHeld(const Response& response)
	{
		const Bytes saved = state(), expected = payload(response);
		ASSERT_GT(saved.size(), expected.size());
		EXPECT_TRUE(std::equal(expected.begin(), expected.end(), saved.end() - std::ptrdiff_t(expected.size())))
		    << response.szName;
	}

	fs::path m_root;

private:
	std::string m_sPath;
};

bundletest::Stereo Play(host::PluginInstance& player)
{
	// After a change of cabinet, from a fresh start, so renders compare sample for sample.
	player.component()->setActive(false);
	player.component()->setActive(true);
	return bundletest::render(player, bundletest::sine(24000, 196.0, 48000.0, 0.3f), 256);
}

void SendByHand(host::PluginInstance& player, const Bytes& payload)
{
	IConnectionPoint* point = host::queryInterface<IConnectionPoint>(player.component());
	IMessage* message = new HostMessage;
	message->setMessageID("BrontalCabinet");
	message->getAttributes()->setBinary("Payload", payload.data(), uint32(payload.size()));
	EXPECT_EQ(point->notify(message), kResultOk);
	message->release();
	point->release();
}

} // namespace

// LOAD asks zenity for a WAV file; what it answers is heard exactly as the
// same response sent to the processor by hand, and the section names it.
TEST_F(CabinetEditorTest, LoadAsksTheFileDialogAndTheProcessorPlaysTheAnswer)
{
	const Response& closed = Folder()[0];
	dialogProgram("zenity", "*--file-selection*--file-filter=*'*.wav'*", path(closed));
	openEditor();
	const bundletest::Stereo builtIn = Play(*instance);
	expectShown(showing("Built-in"), "cabinet-before");
	click(cabinetpanel::kLoad);
	expectShown(showing(closed.szLine), "cabinet-loaded");
	expectGolden(session->screenshot(), "editor-cabinet");
	EXPECT_TRUE(calls().empty()) << "a cabinet is no parameter edit";

	const bundletest::Stereo loaded = Play(*instance);
	host::PluginInstance byHand(bundletest::bundle());
	byHand.activate({});
	SendByHand(byHand, payload(closed));
	const bundletest::Stereo reference = Play(byHand);
	EXPECT_EQ(loaded.left, reference.left);
	EXPECT_EQ(loaded.right, reference.right);
	EXPECT_NE(loaded.left, builtIn.left);
}

// Without zenity, kdialog; with neither, one sentence naming what to do
// instead. A dialog the player cancels changes nothing and says nothing.
TEST_F(CabinetEditorTest, KdialogStandsInAndWithoutEitherTheSectionSaysToDrop)
{
	const Response& studio = Folder()[2];
	openEditor();
	click(cabinetpanel::kLoad);
	expectShown(showing("Built-in", "No file dialog found (zenity or kdialog): drop a WAV file on the panel instead"),
	            "cabinet-no-dialog");

	dialogProgram("kdialog", "*--getopenfilename*'*.wav'*", path(studio));
	click(cabinetpanel::kLoad);
	expectShown(showing(studio.szLine), "cabinet-kdialog");
	expectHeld(studio);

	// Cancelled: the program leaves with 1 and prints nothing; the stand-in
	// leaves a mark once it has run.
	const fs::path ran = m_root / "ran";
	std::ofstream(m_root / "bin" / "kdialog") << "#!/bin/sh\n: > '" << ran.string() << "'\nexit 1\n";
	click(cabinetpanel::kLoad);
	for (int i = 0; i < 250 && !fs::exists(ran); ++i)
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	for (int i = 0; i < 10; ++i)
	{
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
		session->tick();
	}
	expectLook(session->screenshot(), showing(studio.szLine), "cabinet-cancelled");
	expectHeld(studio);
}

// Next and previous go round the folder's WAV files by name, in any case
// of extension, past anything else; BUILT-IN returns the built-in cabinet.
TEST_F(CabinetEditorTest, PreviousAndNextGoRoundTheFolderAndBuiltInGoesBack)
{
	openEditor();
	click(cabinetpanel::kNext);
	expectShown(showing("Built-in", "Load a response first: previous and next go through the files beside it"),
	            "cabinet-step-nothing");

	dialogProgram("zenity", "*--file-selection*", path(Folder()[0]));
	click(cabinetpanel::kLoad);
	expectShown(showing(Folder()[0].szLine), "cabinet-first");
	for (int i : {1, 2, 0})
	{
		click(cabinetpanel::kNext);
		expectShown(showing(Folder()[size_t(i)].szLine), "cabinet-next");
		expectHeld(Folder()[size_t(i)]);
	}
	click(cabinetpanel::kPrevious);
	expectShown(showing(Folder()[2].szLine), "cabinet-previous");
	expectHeld(Folder()[2]);

	const size_t uWithout = [] {
		host::PluginInstance fresh(bundletest::bundle());
		host::ByteStream stream;
		fresh.component()->getState(&stream);
		return stream.bytes().size();
	}();
	click(cabinetpanel::kBuiltIn);
	expectShown(showing("Built-in"), "cabinet-built-in");
	EXPECT_EQ(state().size(), uWithout) << "the processor keeps no response";
}

// A file that is no WAV: the reader's sentence, naming it, and the
// cabinet as it was, on the panel and in the processor. Next steps on from
// the file that failed, to the good one beside it.
TEST_F(CabinetEditorTest, AFileThatCannotBeUsedIsNamedAndTheCabinetStays)
{
	const Response& open = Folder()[1];
	dialogProgram("zenity", "*--file-selection*", path(open));
	openEditor();
	click(cabinetpanel::kLoad);
	expectShown(showing(open.szLine), "cabinet-open-back");

	const Response good{"a-good.wav", cabinettest::Decaying(2400, 9), {}, "a-good  0.05 s  mono"};
	wavtest::WriteWav((m_root / "other" / good.szName).string(), 48000, good.left, good.right);
	dialogProgram("zenity", "*--file-selection*", (m_root / "other" / "broken.wav").string());
	click(cabinetpanel::kLoad);
	expectShown(showing(open.szLine, "The impulse response file 'broken.wav' is not a WAV file (no RIFF/WAVE header)."),
	            "cabinet-broken");
	expectHeld(open);
	click(cabinetpanel::kNext);
	expectShown(showing(good.szLine), "cabinet-after-broken");
	const Bytes saved = state();
	const Bytes expected = cabinettest::Payload(48000, good.left, {}, 3, good.szName, (m_root / "other" / good.szName).string());
	EXPECT_TRUE(std::equal(expected.begin(), expected.end(), saved.end() - std::ptrdiff_t(expected.size())));
}

// A project reopened: the processor's state names its response, which the
// section shows; a state without one shows the built-in cabinet again.
TEST_F(CabinetEditorTest, ARestoredStateShowsItsResponse)
{
	host::PluginInstance sender(bundletest::bundle());
	sender.activate({});
	SendByHand(sender, cabinettest::Payload(44100, cabinettest::Decaying(13230, 1), cabinettest::Decaying(13230, 2)));
	host::ByteStream saved;
	ASSERT_EQ(sender.component()->getState(&saved), kResultOk);
	host::ByteStream without;
	host::PluginInstance fresh(bundletest::bundle());
	ASSERT_EQ(fresh.component()->getState(&without), kResultOk);

	openEditor();
	host::ByteStream again(saved.bytes());
	ASSERT_EQ(controller()->setComponentState(&again), kResultOk);
	expectShown(showing("Greenback 4x12  0.30 s  stereo"), "cabinet-restored");

	host::ByteStream none(without.bytes());
	ASSERT_EQ(controller()->setComponentState(&none), kResultOk);
	expectShown(showing("Built-in"), "cabinet-restored-none");

	// A new editor on a controller that already knows shows it at once.
	host::ByteStream third(saved.bytes());
	ASSERT_EQ(controller()->setComponentState(&third), kResultOk);
	ASSERT_EQ(session->remove(), kResultOk);
	openEditor();
	expectLook(session->screenshot(), showing("Greenback 4x12  0.30 s  stereo"), "cabinet-reopened");
}

namespace {

// A drag-and-drop source of the test's own (XDND version 5) offering
// text/uri-list, on its own connection.
class DropSource
{
public:
	explicit DropSource(EditorSession& session) : m_session(session), m_pDisplay(XOpenDisplay(nullptr))
	{
		m_window = XCreateSimpleWindow(m_pDisplay, DefaultRootWindow(m_pDisplay), 0, 0, 10, 10, 0, 0, 0);
		XSelectInput(m_pDisplay, m_window, PropertyChangeMask);
	}
	~DropSource()
	{
		XDestroyWindow(m_pDisplay, m_window);
		XCloseDisplay(m_pDisplay);
	}

	Atom atom(const char* szName) { return XInternAtom(m_pDisplay, szName, False); }

	// The editor's own window: the host window's only child.
	Window target()
	{
		Window root = 0, up = 0, *pChildren = nullptr;
		unsigned int uCount = 0;
		XQueryTree(m_pDisplay, m_session.parent(), &root, &up, &pChildren, &uCount);
		const Window found = uCount == 1 ? pChildren[0] : 0;
		if (pChildren)
			XFree(pChildren);
		return found;
	}

	void send(Window to, const char* szType, long l1, long l2, long l3, long l4)
	{
		XEvent event{};
		event.xclient.type = ClientMessage;
		event.xclient.window = to;
		event.xclient.message_type = atom(szType);
		event.xclient.format = 32;
		event.xclient.data.l[0] = long(m_window);
		event.xclient.data.l[1] = l1;
		event.xclient.data.l[2] = l2;
		event.xclient.data.l[3] = l3;
		event.xclient.data.l[4] = l4;
		XSendEvent(m_pDisplay, to, False, NoEventMask, &event);
		XSync(m_pDisplay, False);
	}

	// Lets the editor run until a message of this type reaches the source,
	// serving its requests for the dropped list meanwhile.
	bool await(const char* szType, XClientMessageEvent& out)
	{
		for (int i = 0; i < 200; ++i)
		{
			m_session.settle();
			while (XPending(m_pDisplay) > 0)
			{
				XEvent event;
				XNextEvent(m_pDisplay, &event);
				if (event.type == SelectionRequest)
					serve(event.xselectionrequest);
				else if (event.type == ClientMessage && event.xclient.message_type == atom(szType))
				{
					out = event.xclient;
					return true;
				}
			}
			std::this_thread::sleep_for(std::chrono::milliseconds(10));
		}
		return false;
	}

	void drag(const std::string& sList)
	{
		m_sList = sList;
		XSetSelectionOwner(m_pDisplay, atom("XdndSelection"), m_window, CurrentTime);
	}

private:
	void serve(const XSelectionRequestEvent& request)
	{
		XEvent reply{};
		reply.xselection.type = SelectionNotify;
		reply.xselection.requestor = request.requestor;
		reply.xselection.selection = request.selection;
		reply.xselection.target = request.target;
		reply.xselection.time = request.time;
		reply.xselection.property = 0;
		if (request.target == atom("text/uri-list"))
		{
			XChangeProperty(m_pDisplay, request.requestor, request.property, request.target, 8, PropModeReplace,
			                reinterpret_cast<const unsigned char*>(m_sList.data()), int(m_sList.size()));
			reply.xselection.property = request.property;
		}
		XSendEvent(m_pDisplay, request.requestor, False, NoEventMask, &reply);
		XSync(m_pDisplay, False);
	}

	EditorSession& m_session;
	Display* m_pDisplay;
	Window m_window = 0;
	std::string m_sList;
};

} // namespace

// A file dragged from a file manager and dropped on the panel: the window
// says it takes files, accepts the offer, fetches the list, loads the first
// local file (its name percent-decoded) and says the drop is done.
TEST_F(CabinetEditorTest, AFileDroppedOnTheWindowIsLoaded)
{
	const Response& studio = Folder()[2];
	openEditor();
	DropSource source(*session);
	const Window target = source.target();
	ASSERT_NE(target, 0u);
	EXPECT_EQ(session->atomList(target, "XdndAware"), std::vector<Atom>{5});

	// Something that is no file is turned down.
	source.drag("");
	source.send(target, "XdndEnter", 5l << 24, long(XA_STRING), 0, 0);
	source.send(target, "XdndPosition", 0, (300l << 16) | 300, CurrentTime, long(source.atom("XdndActionCopy")));
	XClientMessageEvent status{};
	ASSERT_TRUE(source.await("XdndStatus", status));
	EXPECT_EQ(status.data.l[0], long(target));
	EXPECT_EQ(status.data.l[1] & 1, 0) << "a string is no file";
	source.send(target, "XdndLeave", 0, 0, 0, 0);

	const std::string sUri = "file://" + (m_root / "irs").string() + "/Studio%204x12.wav";
	source.drag("# dropped by the test\r\nhttp://example.org/x.wav\r\n" + sUri + "\r\n");
	source.send(target, "XdndEnter", 5l << 24, long(source.atom("text/plain")), long(source.atom("text/uri-list")), 0);
	source.send(target, "XdndPosition", 0, (300l << 16) | 300, CurrentTime, long(source.atom("XdndActionCopy")));
	ASSERT_TRUE(source.await("XdndStatus", status));
	EXPECT_EQ(status.data.l[1] & 1, 1) << "a list of files is taken";
	EXPECT_EQ(Atom(status.data.l[4]), source.atom("XdndActionCopy"));
	source.send(target, "XdndDrop", 0, CurrentTime, 0, 0);
	XClientMessageEvent finished{};
	ASSERT_TRUE(source.await("XdndFinished", finished));
	EXPECT_EQ(finished.data.l[1] & 1, 1);
	EXPECT_EQ(Atom(finished.data.l[2]), source.atom("XdndActionCopy"));
	expectShown(showing(studio.szLine), "cabinet-dropped");
	expectHeld(studio);
}
