#pragma once
#include <string>
#include <sys/types.h>

namespace brontal::editortest {

// A private X server on a free display for the life of the test program;
// DISPLAY points at it, so the plug-in's own connection finds it too.
class XvfbServer
{
public:
	XvfbServer();
	~XvfbServer();
	XvfbServer(const XvfbServer&) = delete;
	XvfbServer& operator=(const XvfbServer&) = delete;

	const std::string& display() const { return m_display; }

private:
	pid_t m_pid = -1;
	std::string m_display;
};

} // namespace brontal::editortest
