// UTF-8 text to and from the wide text of the Windows calls. Windows builds only.
#pragma once

#include <string>

namespace kv::os {

std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
// The system's message for an error number from GetLastError.
std::string SystemMessage(unsigned long error);

}  // namespace kv::os
