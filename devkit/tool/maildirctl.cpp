// maildirctl: creates and fills Maildir message stores from the command line. It only writes
// files, by the Maildir protocol, so it runs on Linux beside Wine as well as on Windows.
#include "maildir_store.h"
#include "mime_message.h"

#include <cstdio>
#include <ctime>
#include <exception>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

using namespace devkit;

namespace {

constexpr char usage[] =
    "usage: maildirctl STORE COMMAND [ARGUMENTS]\n"
    "  init                              create the store: IPM_SUBTREE with Inbox, Sent Items,\n"
    "                                    Deleted Items\n"
    "  deliver FOLDER [FILE]             deliver a message file (standard input without FILE)\n"
    "  send FOLDER FROM SUBJECT [BODY]   compose a message and deliver it\n"
    "  mkfolder FOLDER                   create a mail folder (and its parents)\n"
    "  rmfolder FOLDER                   remove a folder with everything in it\n"
    "  list [FOLDER]                     list folders and messages\n"
    "FOLDER is a path of folder names below IPM_SUBTREE, such as Inbox/Projects;\n"
    "a leading / starts at the store's root instead.\n";

std::string folderPath(const std::string& names) {
    if (!names.empty() && names[0] == '/')
        return MaildirStore::pathFromDisplayNames(names.substr(1));
    return MaildirStore::pathFromDisplayNames(std::string(ipmSubtreeName) + "/" + names);
}

void list(const MaildirStore& store, const std::string& folder, int depth) {
    const std::string indent(size_t(depth) * 2, ' ');
    std::cout << indent << (folder.empty() ? "(root)" : store.displayName(folder)) << "/\n";
    if (store.isMaildir(folder))
        for (const MessageFile& message : store.messages(folder)) {
            const ParsedMessage parsed = parseMessage(readFile(message.file));
            std::cout << indent << "  " << (message.isNew ? "N " : "  ") << message.unique << "  "
                      << parsed.senderName << ": " << parsed.subject << "\n";
        }
    for (const FolderEntry& child : store.childFolders(folder))
        list(store, child.path, depth + 1);
}

int run(const std::vector<std::string>& args) {
    if (args.size() < 2)
        throw std::invalid_argument("missing arguments");
    MaildirStore store(fs::path(std::u8string(args[0].begin(), args[0].end())));
    const std::string& command = args[1];
    auto need = [&](size_t count) {
        if (args.size() < count)
            throw std::invalid_argument("missing arguments for " + command);
    };

    if (command == "init") {
        store.createStandardLayout();
        std::cout << "store ready: " << store.root().string() << "\n";
        return 0;
    }
    store.open();
    if (command == "deliver" || command == "send") {
        need(command == "send" ? 5 : 3);
        const std::string folder = folderPath(args[2]);
        if (!store.isMaildir(folder))
            throw std::invalid_argument("no mail folder " + args[2]);
        std::string content;
        if (command == "send") {
            content = composeMessage(args[3], "", args[4], args.size() > 5 ? args[5] : "",
                                     std::time(nullptr));
        } else if (args.size() > 3) {
            content = readFile(fs::path(std::u8string(args[3].begin(), args[3].end())));
        } else {
            content.assign(std::istreambuf_iterator<char>(std::cin), {});
        }
        std::cout << store.deliver(folder, content) << "\n";
        return 0;
    }
    if (command == "mkfolder") {
        need(3);
        std::string parent, path = folderPath(args[2]);
        bool existed = false;
        size_t start = 0;
        for (size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1)
            fs::create_directories(store.directory(path.substr(0, slash)));
        if (!store.createFolder(MaildirStore::parentOf(path), store.displayName(path), existed))
            throw std::runtime_error("cannot create " + args[2]);
        return 0;
    }
    if (command == "rmfolder") {
        need(3);
        if (!store.removeFolder(folderPath(args[2])))
            throw std::invalid_argument("no folder " + args[2]);
        return 0;
    }
    if (command == "list") {
        list(store, args.size() > 2 ? folderPath(args[2]) : std::string(), 0);
        return 0;
    }
    throw std::invalid_argument("unknown command " + command);
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& error) {
        std::cerr << "maildirctl: " << error.what() << "\n" << usage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "maildirctl: " << error.what() << "\n";
        return 1;
    }
}
