// Upload of the HTML log pages to an FTP server, with the settings of LogFiles_WebServer.
#pragma once
#include <string>

#include "service/varnel.h"
#include "web/ftp_client.h"

namespace varnel {

// The whole upload: up to Retries login attempts, then the pages, then the logout. Does
// nothing when TransferLogFiles is off.
void FtpLogFiles(Varnel& ctx);

// One login attempt; the protocol trace goes to "Debug/FtpPut.txt" in the FTP debug modes.
void FtpDoLogin(Varnel& ctx, FtpClient& ftp, const std::string& server, int port,
                const std::string& user, const std::string& password);
// Stores each page that exists locally, in upload order, into remoteDir.
void FtpDoPut(Varnel& ctx, FtpClient& ftp, const std::string& remoteDir);
void FtpDoLogout(Varnel& ctx, FtpClient& ftp);

}  // namespace varnel
