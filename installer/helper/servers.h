// The clamd server list as the installer takes it ("a:3310,b:3310") and the
// clamd.vdb it writes from it.
#pragma once

#include <string>
#include <vector>

namespace orlixinst {

// Splits at commas, semicolons and blanks; every entry must be a server the
// bridge accepts. On failure *bad names the first entry that is not.
bool ParseServerList(const std::string& list, std::vector<std::string>* servers, std::string* bad);

// The new clamd.vdb text: the old one with its server lines replaced by the
// given servers (where the first one stood), everything else kept as the
// user left it. Without an old text, the default clamd.vdb (the one the
// portable zip ships, engines/clamd/clamd.vdb) with these servers.
std::string MergeServers(const std::string& oldText, const std::vector<std::string>& servers);

// The servers of a clamd.vdb text that the bridge would take, comma-separated.
std::string ServersOf(const std::string& text);

// Checks the installer's own options (after NSIS has taken /D=). Answers an
// empty text when they are fine, else the message for the user.
std::string CheckOptions(const std::vector<std::string>& options);

// The value of the first "/NAME=" option (NAME without case), empty without one.
std::string OptionValueOf(const std::vector<std::string>& options, const char* name);

}  // namespace orlixinst
