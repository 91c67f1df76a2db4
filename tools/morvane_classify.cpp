// morvane-classify: command-line host of the classifier library.
#include <cstdio>
#include <cstring>
#include <string>

#include "morvane/classifier.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            MorvaneChar buffer[16];
            int length = 16;
            if (GetSDKVersion(buffer, &length) != 0) return 2;
            std::string text;
            for (int k = 0; buffer[k]; ++k) text.push_back(static_cast<char>(buffer[k]));
            std::printf("morvane-classify %s\n", text.c_str());
            return 0;
        }
    }
    std::fprintf(stderr, "usage: morvane-classify --version\n");
    return 2;
}
