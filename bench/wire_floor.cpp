// Wine's own floor for a check on the wire: the least POP3 client that a
// Windows program can be. It makes the same session as a check (greeting,
// USER, PASS, STAT, QUIT, then closes without waiting for the answer), one
// send per command and a blocking recv per reply, back to back for the
// given seconds. It is not a check: it judges no reply and has no bound.
//
//   wire_floor.exe ADDRESS PORT USER PASSWORD SECONDS
#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

// One reply: whatever the first recv brings (a POP3 server sends each short
// reply in one segment).
bool Reply(SOCKET socket)
{
    char bytes[512];
    return recv(socket, bytes, sizeof bytes, 0) > 0;
}

bool Command(SOCKET socket, const std::string& line)
{
    return send(socket, line.data(), static_cast<int>(line.size()), 0) == static_cast<int>(line.size());
}

bool Session(const sockaddr_in& server, const std::string& user, const std::string& password)
{
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (socket == INVALID_SOCKET)
        return false;
    const bool done = connect(socket, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0 &&
                      Reply(socket) && Command(socket, "USER " + user + "\r\n") && Reply(socket) &&
                      Command(socket, "PASS " + password + "\r\n") && Reply(socket) && Command(socket, "STAT\r\n") &&
                      Reply(socket) && Command(socket, "QUIT\r\n");
    closesocket(socket);
    return done;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6)
        return 2;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 2;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<u_short>(std::atoi(argv[2])));
    server.sin_addr.s_addr = inet_addr(argv[1]);
    const DWORD end = GetTickCount() + static_cast<DWORD>(std::atoi(argv[5])) * 1000;
    int failures = 0;
    while (static_cast<LONG>(GetTickCount() - end) < 0)
        failures += Session(server, argv[3], argv[4]) ? 0 : 1;
    return failures == 0 ? 0 : 1;
}
