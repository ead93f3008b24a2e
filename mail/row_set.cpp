#include "app/handles.h"

void freeRowSet(LPMAPIFREEBUFFER release, SRowSet* rows) {
    if (!rows)
        return;
    for (ULONG i = 0; i < rows->cRows; ++i)
        release(rows->aRow[i].lpProps);
    release(rows);
}
