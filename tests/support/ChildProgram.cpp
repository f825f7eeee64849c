#include "tests/support/ChildProgram.h"

#include <map>
#include <string>

namespace {
std::map<std::string, TChildMain>& Registry() {
    static std::map<std::string, TChildMain> programs;
    return programs;
}
} // namespace

TChildProgram::TChildProgram(const char* name, TChildMain main) {
    Registry()[name] = main;
}

TChildMain FindChildProgram(const QString& name) {
    const auto it = Registry().find(name.toStdString());
    return it == Registry().end() ? nullptr : it->second;
}
