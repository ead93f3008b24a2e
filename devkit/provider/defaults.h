// The interfaces the provider implements, with every method "not supported" until a class
// overrides it. Parameter names come from the MAPI headers and are unused here.
#pragma once
#include "com_object.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace maildir {

struct SessionDefaults : ComObject<IMAPISession> {
    MAPI_IMAPISESSION_METHODS(MAILDIR_NO_SUPPORT)
};

struct TableDefaults : ComObject<IMAPITable> {
    MAPI_IMAPITABLE_METHODS(MAILDIR_NO_SUPPORT)
};

struct MsgStoreDefaults : ComObject<IMsgStore> {
    MAPI_IMAPIPROP_METHODS(MAILDIR_NO_SUPPORT)
    MAPI_IMSGSTORE_METHODS(MAILDIR_NO_SUPPORT)
};

struct FolderDefaults : ComObject<IMAPIFolder> {
    MAPI_IMAPIPROP_METHODS(MAILDIR_NO_SUPPORT)
    MAPI_IMAPICONTAINER_METHODS(MAILDIR_NO_SUPPORT)
    MAPI_IMAPIFOLDER_METHODS(MAILDIR_NO_SUPPORT)
};

struct MessageDefaults : ComObject<IMessage> {
    MAPI_IMAPIPROP_METHODS(MAILDIR_NO_SUPPORT)
    MAPI_IMESSAGE_METHODS(MAILDIR_NO_SUPPORT)
};

struct StatusDefaults : ComObject<IMAPIStatus> {
    MAPI_IMAPIPROP_METHODS(MAILDIR_NO_SUPPORT)
    MAPI_IMAPISTATUS_METHODS(MAILDIR_NO_SUPPORT)
};

} // namespace maildir

#pragma GCC diagnostic pop
