// Memory timing of the GP2X: two 16-bit system registers written through a
// mapping of physical memory, on the handheld only.
#include "platform/ramhack.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

int gp2x_dev;
volatile uint16_t *MEM_REG;

#define REG_WINDOW_BASE 0xC0000000UL // physical address of the register window
#define REG_WINDOW_SIZE 0x10000      // 64 KiB
#define REG_3802 (0x3802 / 2)        // 16-bit word index of byte offset 0x3802
#define REG_3804 (0x3804 / 2)        // 16-bit word index of byte offset 0x3804

bool CpuInfoNamesHandheldCore(const char *path) {
    FILE *f = fopen(path, "r");
    if (!f)
        return false;
    char line[512];
    bool found = false;
    while (!found && fgets(line, sizeof line, f))
        found = strstr(line, "ARM920T") != NULL;
    fclose(f);
    return found;
}

bool Platform_IsHandheld() {
#if defined(__arm__)
    return CpuInfoNamesHandheldCore("/proc/cpuinfo") && access(HANDHELD_MENU, X_OK) == 0;
#else
    return false;
#endif
}

void RamHackRegisters(volatile uint16_t *window) {
    window[REG_3804] = (uint16_t)((window[REG_3804] & 0xF0FF) | 0x0500);
    window[REG_3804] = (uint16_t)((window[REG_3804] & 0xFF0F) | 0x0030);
    window[REG_3804] = (uint16_t)(window[REG_3804] & 0xFFF0);
    window[REG_3802] = (uint16_t)(window[REG_3802] & 0x0FFF);
    window[REG_3802] = (uint16_t)(window[REG_3802] & 0xF0FF);
    window[REG_3802] = (uint16_t)((window[REG_3802] & 0xFF0F) | 0x0010);
    window[REG_3802] = (uint16_t)((window[REG_3802] & 0xFFF0) | 0x0001);
}

void RamHack() {
    if (!Platform_IsHandheld())
        return;
    gp2x_dev = open("/dev/mem", O_RDWR);
    if (gp2x_dev < 0)
        return;
    // The 64-bit offset keeps the address above 2 GiB intact on a 32-bit build.
    void *window = mmap64(0, REG_WINDOW_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, gp2x_dev,
                          (off64_t)REG_WINDOW_BASE);
    if (window != MAP_FAILED) {
        MEM_REG = (volatile uint16_t *)window;
        RamHackRegisters(MEM_REG);
    }
    close(gp2x_dev);
}
