#include "app_state.h"

AppState* app = nullptr;

AppState* createAppState() {
    app = new AppState(); // never freed: the record ends with the process
    return app;
}
