#pragma once

#include <string_view>

namespace vesk {

// The product's general log: the Qt logging category "projectvesk" (standard error or
// the journal). Messages begin with "Project Vesk" by convention; callers write them whole.
void logInfo(std::string_view message);
void logWarning(std::string_view message);

}  // namespace vesk
