#include "batch.h"
#include "platform/std/std_text_files.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> strArgs(argv + 1, argv + argc);
    kestrix::platform::StdTextFiles files;
    return kestrix::cli::runBatch(strArgs, std::cout, std::cerr, files);
}
