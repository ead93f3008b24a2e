#include "receive_folder.h"

#include "app/failure_trace.h"

HRESULT inboxEntryId(IMsgStore* store, ULONG& size, MapiBuffer<ENTRYID>& id) {
    size = 0;
    ENTRYID* found = nullptr;
    char* explicitClass = nullptr;
    char ipm[] = "IPM";
    const HRESULT result = store->GetReceiveFolder(ipm, 0, &size, &found, &explicitClass);
    id.reset(found);
    MapiBuffer<char> classOwner(explicitClass);
    failed("IMsgStore::GetReceiveFolder", result);
    return result;
}
