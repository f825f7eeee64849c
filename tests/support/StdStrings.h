#pragma once
// The program's command lists as the simulator takes them.
#include <QStringList>
#include <string>
#include <vector>

inline std::vector<std::string> StdStrings(const QStringList& list) {
    std::vector<std::string> out;
    out.reserve(std::size_t(list.size()));
    for (const QString& s : list)
        out.push_back(s.toStdString());
    return out;
}
