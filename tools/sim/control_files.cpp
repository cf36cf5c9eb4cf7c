#include "control_files.h"

#include <cstdio>
#include <fstream>

namespace vornix7::sim {

ControlWord ReadControlFile(const std::string& path)
{
    ControlWord result;
    std::ifstream in(path);
    if (!in)
        return result;
    result.present = true;
    in >> result.word;
    result.mode = ModeFromName(result.word);
    return result;
}

bool WriteCountFile(const std::string& path, std::uint64_t count)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << count << '\n';
        if (!out.flush())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

} // namespace vornix7::sim
