#include "xvfbserver.h"

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brontal::editortest {

XvfbServer::XvfbServer()
{
	int aPipe[2];
	if (pipe(aPipe) != 0)
		throw std::runtime_error("pipe failed");
	m_pid = fork();
	if (m_pid < 0)
		throw std::runtime_error("fork failed");
	if (m_pid == 0)
	{
		// Dies with the test program, even when that crashes.
		prctl(PR_SET_PDEATHSIG, SIGTERM);
		close(aPipe[0]);
		const std::string fd = std::to_string(aPipe[1]);
		execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
		       "-noreset", static_cast<char*>(nullptr));
		_exit(127);
	}
	close(aPipe[1]);
	// The server writes its display number and a newline once it accepts clients.
	std::string number;
	char c;
	while (read(aPipe[0], &c, 1) == 1 && c != '\n')
		number += c;
	close(aPipe[0]);
	if (number.empty())
		throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
	m_display = ":" + number;
	setenv("DISPLAY", m_display.c_str(), 1);
}

XvfbServer::~XvfbServer()
{
	if (m_pid > 0)
	{
		kill(m_pid, SIGTERM);
		waitpid(m_pid, nullptr, 0);
	}
}

} // namespace brontal::editortest
