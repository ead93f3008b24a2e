#include "do_not_disturb.h"

QueryNotificationStateFn queryNotificationState = &SHQueryUserNotificationState;

Interruption currentInterruption() {
    QUERY_USER_NOTIFICATION_STATE state = QUNS_ACCEPTS_NOTIFICATIONS;
    if (FAILED(queryNotificationState(&state)))
        return Interruption::allowed;
    switch (state) {
    case QUNS_NOT_PRESENT:
        return Interruption::away;
    case QUNS_BUSY:
    case QUNS_RUNNING_D3D_FULL_SCREEN:
    case QUNS_PRESENTATION_MODE:
        return Interruption::silent;
    default:
        return Interruption::allowed;
    }
}
