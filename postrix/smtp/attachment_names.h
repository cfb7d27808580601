// What an attachment's part header says about its file: the media type from
// the extension and the file's own name from its path.
#pragma once

#include <string>
#include <string_view>

namespace postrix::smtp {

// The media type for the extension after the last '.' of the path (compared
// in lower case); "application/octet-stream" for no dot or an unknown one.
std::string_view mimeTypeFor(std::string_view path);

// The text after the last '\'; without one, after the last '/'; without
// either, the whole path.
std::string_view fileNameOf(std::string_view path);

// Whether the name can stand in a quoted parameter as it is: printable ASCII
// without '"' and '\'.
bool isPlainParameterText(std::string_view name);

// The parameter text for a file name: ; name="report.pdf" for a plain name,
// otherwise the RFC 2231 form ; name*=UTF-8''%C5%BC... (split into
// name*0*=, name*1*= ... on continuation lines when long). The name is the
// parameter's name, e.g. "name" or "filename".
std::string fileNameParameter(std::string_view parameter, std::string_view fileName);

}  // namespace postrix::smtp
