// The MAPI interface identifiers, defined once for the provider.
#define USES_IID_IMAPISession
#define USES_IID_IMAPITable
#define USES_IID_IMAPIProp
#define USES_IID_IMAPIContainer
#define USES_IID_IMAPIFolder
#define USES_IID_IMsgStore
#define USES_IID_IMessage
#define USES_IID_IMAPIAdviseSink
#define USES_IID_IMAPIStatus
#include <windows.h>
#include <initguid.h>
#include <mapiguid.h>
