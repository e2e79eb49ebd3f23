// Runs a fuzz target without libFuzzer: every file named on the command line, and every file
// under every folder named there, goes once through LLVMFuzzerTestOneInput. A crash found by
// the fuzzer reproduces with `<target>_replay <crash-file>` in any build, sanitizers or not.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool RunFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t files = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path argument(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(argument, error)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argument)) {
                if (entry.is_regular_file()) {
                    ok = RunFile(entry.path()) && ok;
                    ++files;
                }
            }
        } else {
            ok = RunFile(argument) && ok;
            ++files;
        }
    }
    std::printf("%zu inputs ran\n", files);
    return ok ? 0 : 1;
}
