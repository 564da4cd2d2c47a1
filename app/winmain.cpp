// SPDX-License-Identifier: MIT
// Windows GUI entry: splits the wide command line, converts it to the ANSI code page and calls main.
#include <vector>

#include <shellapi.h>
#include <windows.h>

int main(int argc, char* argv[]);

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int argc = 0;
    LPWSTR* wideArgv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!wideArgv)
        return -1;

    std::vector<char*> argv;
    argv.reserve(static_cast<size_t>(argc) + 1);
    for (int i = 0; i < argc; ++i) {
        const int size = WideCharToMultiByte(CP_ACP, 0, wideArgv[i], -1, nullptr, 0, nullptr, nullptr);
        char* arg = new char[size > 0 ? size : 1];
        arg[0] = '\0';
        if (size > 0)
            WideCharToMultiByte(CP_ACP, 0, wideArgv[i], -1, arg, size, nullptr, nullptr);
        argv.push_back(arg);
    }
    argv.push_back(nullptr);
    LocalFree(wideArgv);

    const int result = main(argc, argv.data());
    for (char* arg : argv)
        delete[] arg;
    return result;
}
