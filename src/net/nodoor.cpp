// The WebSocket door of a build without libwebsockets: opening it says so
// in one line; everything else finds it closed.
#include "net/webdoor.h"

#include "resources/errorline.h"

bool DoorOpen(const char *, uint16_t, const char *, int, int (*)(uint32_t), uint16_t *) {
    ErrorLine("this build has no WebSocket door (built without libwebsockets)");
    return false;
}

bool DoorAllowOrigins(const char *) {
    return true;
}

bool DoorIsOpen() {
    return false;
}

void DoorWait(uint32_t) {}

bool DoorNext(DoorEvent *) {
    return false;
}

bool DoorSend(int, const uint8_t *, size_t, bool) {
    return false;
}

uint32_t DoorQueued(int) {
    return 0;
}

bool DoorLive(int) {
    return false;
}

void DoorEnd(int, uint8_t) {}

int DoorFrom(uint32_t) {
    return 0;
}

uint64_t DoorFramesSent() {
    return 0;
}

uint64_t DoorFramesReceived() {
    return 0;
}

uint64_t DoorBytesSent() {
    return 0;
}

void DoorClose() {}
