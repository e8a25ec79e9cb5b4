// SPDX-License-Identifier: GPL-3.0-or-later
// Replays fuzz inputs without libFuzzer: every file named, and every file in every folder named (in
// name order), goes once through the harness's LLVMFuzzerTestOneInput. A harness aborts on a broken
// property, so the replay fails exactly where the fuzzer would have reported the input.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbytData, std::size_t lngSize);

namespace {

std::vector<std::filesystem::path> inputsOf(const std::filesystem::path& path)
{
    std::vector<std::filesystem::path> inputs;
    if (!std::filesystem::is_directory(path)) {
        inputs.push_back(path);
        return inputs;
    }
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

} // namespace

int main(int argc, char** argv)
{
    std::size_t lngReplayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const std::filesystem::path& input : inputsOf(argv[i])) {
            std::ifstream stream(input, std::ios::binary);
            if (!stream) {
                std::cerr << "cannot read " << input << '\n';
                return 1;
            }
            const std::string strBytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
            std::cerr << "replaying " << input.filename().string() << '\n';
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(strBytes.data()), strBytes.size());
            ++lngReplayed;
        }
    }
    // A corpus that went missing must not pass as a replay of nothing.
    if (lngReplayed == 0) {
        std::cerr << "no inputs to replay\n";
        return 1;
    }
    std::cout << "replayed " << lngReplayed << " inputs\n";
    return 0;
}
