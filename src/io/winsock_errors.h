#pragma once
// The TCP channel reports its errors with the Windows Sockets codes and
// texts, so that users on every platform read the same messages. Linux
// error numbers are mapped onto those codes here.

#include <QString>

namespace tessaly {

// Windows Sockets codes the channel itself relies on.
enum WinsockCode : int {
    kWsaInvalidArgument = 10022,
    kWsaNotSocket = 10038,
    kWsaNetworkDown = 10050,
    kWsaHostNotFound = 11001,
};

// The Windows Sockets code for a Linux errno value; an errno without a
// counterpart is passed on unchanged (its text is then "Not a Winsock error").
int winsock_code(int linux_errno);

// The text for a Windows Sockets code.
QString winsock_text(int code);

}  // namespace tessaly
