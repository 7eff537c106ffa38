// The registry stand-in: machine-wide values kept as "KEY\PATH\ValueName=value" lines in
// <public folder>/registry.ini.
//
// Key paths are compared without regard to case, as the registry does; the value is the rest
// of the line after the first "=" (a trailing "\r" is dropped). The simulated host's `install`
// command writes the plug-in folder here and the plug-in reads it back.
#pragma once

#include <string>

namespace kv {

// The key under which the host keeps plug-in settings, and the value naming the editor folder.
constexpr const char* PluginRegistryKey = "SOFTWARE\\Avid Technology\\AVX Plug-ins";
constexpr const char* EditorFolderValue = "AVX2Directory";
// An installed system has no registry file in the user's public folder: there the editor is the
// one installed with the plug-in, in the programs' folder two levels above the plug-in's own
// folder (lib/kinevista/ and bin/ of one prefix).
constexpr const char* InstalledEditorFolderFromPlugin = "../../bin/";

// The file that holds the values.
std::string RegistryFile();

// Reads value `name` under `key`; false when the file, key or value is missing.
bool ReadRegistryValue(const std::string& key, const std::string& name, std::string* out);
// Sets (replaces or adds) value `name` under `key`; the file is rewritten atomically.
bool WriteRegistryValue(const std::string& key, const std::string& name, const std::string& value);

}  // namespace kv
