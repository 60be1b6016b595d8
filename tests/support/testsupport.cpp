// Helpers shared by the tests.
#include "support/testsupport.h"

#include "game/globalvar.h"
#include "platform/platform.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

std::string EnterScratchDir() {
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/mdtest.XXXXXX";
    char buf[512];
    snprintf(buf, sizeof buf, "%s", pattern.c_str());
    if (!mkdtemp(buf))
        abort();
    std::string dir = buf;
    mkdir((dir + "/client").c_str(), 0755);
    mkdir((dir + "/data").c_str(), 0755);
    mkdir((dir + "/font").c_str(), 0755);
    if (chdir(dir.c_str()) != 0)
        abort();
    return dir;
}

void WriteFile(const std::string &path, const std::string &contents) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        abort();
    fwrite(contents.data(), 1, contents.size(), f);
    fclose(f);
}

std::string DataDir() {
    return MD_DATA_DIR;
}

void StartScriptedPlatform() {
    seam_active = 1;
    seam_numjoysticks = 1;
    Platform_Init();
    Screen_Width = 320;
    Screen_Height = 240;
}
