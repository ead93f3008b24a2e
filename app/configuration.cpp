#include "configuration.h"

#include "app_state.h"
#include "handles.h"

#include <atomic>
#include <cstdint>
#include <cstring>

namespace {

// Reads a 4-byte value. The data goes through a local that starts as the field's value, so a
// value shorter than 4 bytes overwrites only its own bytes, and a value that does not fit (or a
// failed read, after which Windows leaves the buffer undefined) leaves the field unchanged.
uint32_t storedNumber(HKEY key, const char* name, uint32_t current) {
    uint32_t value = current;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return current;
    return value;
}

void readNumber(HKEY key, const char* name, uint32_t& field) {
    field = storedNumber(key, name, field);
}

template <typename T> void readNumber(HKEY key, const char* name, std::atomic<T>& field) {
    field.store(storedNumber(key, name, field.load()));
}

// Reads a text into a new buffer one byte longer than the stored data, its last byte 0, so a
// text stored without terminator still ends. An absent or empty value keeps the old buffer.
// Old buffers are never freed: another thread may still be reading one.
char* readText(HKEY key, const char* name, char* current) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0)
        return current;
    char* text = new char[size + 1]();
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) !=
        ERROR_SUCCESS) {
        delete[] text; // changed under our feet; keep what we had
        return current;
    }
    return text;
}

} // namespace

int loadConfiguration() {
    UniqueHkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, registry::keyPath, 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS)
        return 0;

    const uint32_t version = storedNumber(key.get(), registry::version, 0);
    readNumber(key.get(), registry::timerEnabled, app->timerEnabled);
    if (version != registry::formatVersion)
        return 0;

    readNumber(key.get(), registry::msMailServer, app->msMailServer);
    readNumber(key.get(), registry::outlook, app->outlook);
    app->wavFile = readText(key.get(), registry::wavFile, app->wavFile);
    app->mailReaderPath = readText(key.get(), registry::mailReaderPath, app->mailReaderPath);
    readNumber(key.get(), registry::playSound, app->playSound);
    readNumber(key.get(), registry::displayWindow, app->displayWindow);
    readNumber(key.get(), registry::calendar, app->calendar);
    readNumber(key.get(), registry::msMailServerTime, app->msMailServerTime);
    readNumber(key.get(), registry::timer, app->timer);
    return 1;
}
