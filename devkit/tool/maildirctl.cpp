// maildirctl: creates and fills Maildir message stores from the command line. It only writes
// files, by the Maildir protocol, so it runs on Linux beside Wine as well as on Windows.
#include "calendar_items.h"
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
    "  init [--calendar=NAME]            create the store: IPM_SUBTREE with Inbox, Sent Items,\n"
    "                                    Deleted Items and the calendar folder NAME (default\n"
    "                                    Calendar; a localized mailbox has Kalender, ...)\n"
    "  deliver FOLDER [FILE]             deliver a message file (standard input without FILE)\n"
    "  send FOLDER FROM SUBJECT [BODY]   compose a message and deliver it\n"
    "  mkfolder FOLDER                   create a mail folder (and its parents)\n"
    "  rmfolder FOLDER                   remove a folder with everything in it\n"
    "  list [FOLDER]                     list folders and messages\n"
    "  appointment SUMMARY START [OPTION...]\n"
    "                                    add an appointment to the calendar folder; START is\n"
    "                                    'YYYY-MM-DD HH:MM' in its zone, or now+N[s|m|h]\n"
    "      --zone=ZONE                   UTC (default), +HH:MM, or a known zone such as\n"
    "                                    Europe/Berlin, America/New_York, Asia/Kolkata\n"
    "      --minutes=N                   length (default 60)\n"
    "      --alarm=N                     remind N minutes before the start (negative: after)\n"
    "      --location=TEXT  --rule=RRULE  --name=NAME (the file NAME.ics)\n"
    "  ics FILE [NAME]                   put an iCalendar file into the Calendar folder\n"
    "                                    (standard input for FILE -)\n"
    "  unappoint NAME                    remove the appointment NAME.ics\n"
    "  calendar                          list the appointments with their reminder times (UTC)\n"
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

// "Calendar", or else the first other top-level calendar folder (one made by init --calendar).
std::string calendarFolder(const MaildirStore& store) {
    const std::string folder = folderPath(calendarFolderName);
    if (store.isCalendar(folder))
        return folder;
    for (const FolderEntry& child : store.childFolders(ipmSubtreeName))
        if (store.isCalendar(child.path))
            return child.path;
    throw std::invalid_argument("the store has no calendar folder (run init)");
}

std::int64_t number(const std::string& text, const std::string& what) {
    std::size_t used = 0;
    long long value = 0;
    try {
        value = std::stoll(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size())
        throw std::invalid_argument("not a number for " + what + ": " + text);
    return value;
}

// "now+90s", "now+2m", "now+1h", or "YYYY-MM-DD HH:MM[:SS]" in the zone.
std::int64_t startTime(const std::string& text, const std::string& zone) {
    if (text.rfind("now", 0) == 0) {
        std::string offset = text.substr(3);
        std::int64_t unit = 60;
        if (!offset.empty() &&
            (offset.back() == 's' || offset.back() == 'm' || offset.back() == 'h')) {
            unit = offset.back() == 's' ? 1 : offset.back() == 'm' ? 60 : 3600;
            offset.pop_back();
        }
        return std::int64_t(std::time(nullptr)) +
               (offset.empty() ? 0 : number(offset, "START") * unit);
    }
    int year, month, day, hour, minute, second = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute,
                    &second) < 5 ||
        month < 1 || month > 12 || day < 1 || day > ical::daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        throw std::invalid_argument("not a start time: " + text);
    const auto rules = knownZone(zone);
    if (!rules)
        throw std::invalid_argument("unknown time zone " + zone);
    return rules->toUtc(ical::daysFromCivil(year, month, day) * ical::kSecondsPerDay + hour * 3600 +
                        minute * 60 + second);
}

void addAppointment(MaildirStore& store, const std::vector<std::string>& args) {
    NewAppointment appointment;
    appointment.summary = args[2];
    std::string name, start = args[3];
    for (size_t i = 4; i < args.size(); ++i) {
        const std::string& option = args[i];
        const size_t equals = option.find('=');
        const std::string key = option.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
        if (key == "--zone")
            appointment.zone = value;
        else if (key == "--minutes")
            appointment.minutes = number(value, key);
        else if (key == "--alarm")
            appointment.alarmMinutesBefore = number(value, key);
        else if (key == "--location")
            appointment.location = value;
        else if (key == "--rule")
            appointment.rule = value;
        else if (key == "--name")
            name = value;
        else
            throw std::invalid_argument("unknown option " + option);
    }
    appointment.start = startTime(start, appointment.zone);
    std::string error;
    const auto text = composeAppointment(appointment, error);
    if (!text)
        throw std::invalid_argument(error);
    std::cout << store.putCalendarFile(calendarFolder(store), *text, name) << "\n";
}

void listCalendar(const MaildirStore& store) {
    const std::string folder = calendarFolder(store);
    const std::int64_t now = std::time(nullptr);
    CalendarItems items;
    for (const CalendarFile& file : store.calendarFiles(folder)) {
        const CalendarItem item = items.load(file);
        std::cout << file.name << "  ";
        if (!item.appointment) {
            std::cout << "unreadable: " << item.error << "\n";
            continue;
        }
        const Reminder reminder = reminderOf(*item.appointment, now);
        const ical::Event& event =
            reminder.alarm ? *reminder.alarm->event : item.appointment->event();
        if (reminder.alarm)
            std::cout << "reminder " << ical::formatMinute(reminder.alarm->at) << ":"
                      << stamp(reminder.alarm->at).substr(13) << " UTC  "
                      << item.appointment->zoneDescription(event, reminder.alarm->at).value_or("")
                      << "  ";
        else
            std::cout << "no reminder  ";
        std::cout << event.summary;
        if (!event.location.empty())
            std::cout << " @ " << event.location;
        std::cout << "\n";
    }
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
        const std::string option = "--calendar=";
        const bool named = args.size() > 2 && args[2].starts_with(option);
        store.createStandardLayout(named ? args[2].substr(option.size()) : calendarFolderName);
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
    if (command == "appointment") {
        need(4);
        addAppointment(store, args);
        return 0;
    }
    if (command == "ics") {
        need(3);
        std::string content;
        if (args[2] == "-")
            content.assign(std::istreambuf_iterator<char>(std::cin), {});
        else if (auto read = tryReadFile(fs::path(std::u8string(args[2].begin(), args[2].end()))))
            content = std::move(*read);
        else
            throw std::invalid_argument("cannot read " + args[2]);
        std::cout << store.putCalendarFile(calendarFolder(store), content,
                                           args.size() > 3 ? args[3] : "")
                  << "\n";
        return 0;
    }
    if (command == "unappoint") {
        need(3);
        if (!store.deleteCalendarFile(calendarFolder(store), args[2]))
            throw std::invalid_argument("no appointment " + args[2]);
        return 0;
    }
    if (command == "calendar") {
        listCalendar(store);
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
