#include "cli/commands.h"
#include "cli/console.h"

namespace cli {

const char* const k_usage_text =
    "usage: tagzo-cli show [-r] [--json] FILE...\n"
    "       tagzo-cli set [-r] [--title T] [--artist A] [--album B] [--year Y] [--comment C]\n"
    "                     [--genre N] [--track N] [--no-rmp] [--no-id3v2] [--display-name NAME] [--journal J]\n"
    "                     FILE...\n"
    "       tagzo-cli set [--no-rmp] [--no-id3v2] [--display-name NAME] --json FILE.jsonl|-\n"
    "       tagzo-cli rename [-r] [--pattern 0|1|--format FORMAT] [--dry-run] [--journal J] FILE...\n"
    "       tagzo-cli export [-r] [--id3v2.3|--id3v2.4] [--overwrite] [--out DIR] [--journal J] FILE...\n"
    "       tagzo-cli repair [-r] [--dry-run] [--id3v2.3|--id3v2.4] [--journal J] FILE...\n"
    "       tagzo-cli import [-r] [--rmp] [--dry-run] [--journal J] FILE...\n"
    "       tagzo-cli undo JOURNAL   (--journal JOURNAL on a command that writes keeps what it replaces)\n"
    "       tagzo-cli COMMAND --help, tagzo-cli --version\n"
    "  -r, --recursive: folders among the FILEs are walked for their .mp3 and .rmp files\n";

const char* command_help(const std::string& command) {
    if (command == "show")
        return "usage: tagzo-cli show [-r] [--json] FILE...\n"
               "Shows each file's kind, its forms (id3 or rmp, and v2.N for an ID3v2 tag) and its texts.\n"
               "  -r, --recursive  walk the folders among the FILEs     tagzo-cli show -r Music\n"
               "  --json           one JSON object a line, UTF-8        tagzo-cli show --json a.mp3 > a.jsonl\n";
    if (command == "set")
        return "usage: tagzo-cli set [-r] [OPTION...] FILE...\n"
               "       tagzo-cli set [--no-rmp] [--no-id3v2] [--display-name NAME] --json FILE.jsonl|-\n"
               "Writes the tag as the editor does; an option not given keeps the file's text. A file's own\n"
               "ID3v2 tag takes each text given too (its other frames stay), and then a long text goes\n"
               "whole into that tag instead of the RMP form.\n"
               "  --title T, --artist A, --album B, --year Y, --comment C\n"
               "                   the texts, up to 255 bytes in code page 932\n"
               "                                                        tagzo-cli set --artist \"理多\" *.mp3\n"
               "  --genre N        the genre number, 0 to 255            tagzo-cli set --genre 17 a.mp3\n"
               "  --track N        the record's track, 1 to 255; 0 removes it\n"
               "                                                        tagzo-cli set --track 3 a.mp3\n"
               "  --no-rmp         keep an ID3v1 file, texts cut to 30 bytes\n"
               "                                                        tagzo-cli set --no-rmp --title T a.mp3\n"
               "  --no-id3v2       leave the file's ID3v2 tag as it is  tagzo-cli set --no-id3v2 --title T a.mp3\n"
               "  --display-name NAME  the software name a conversion records\n"
               "                                                        tagzo-cli set --display-name me --title T a.mp3\n"
               "  --json FILE|-    apply the lines show --json prints   tagzo-cli set --json edited.jsonl\n"
               "  --journal FILE   keep what each change replaces, for undo: old bytes in FILE, a rewritten\n"
               "                   file's old self in the folder FILE.kept beside it (a second name, no copy)\n"
               "                                                        tagzo-cli set --journal j.log --album B *.mp3\n"
               "  -r, --recursive  walk the folders among the FILEs     tagzo-cli set -r --album B Music\n";
    if (command == "rename")
        return "usage: tagzo-cli rename [-r] [--pattern 0|1|--format FORMAT] [--dry-run] [--journal J] FILE...\n"
               "Names each file from its tag, in its own folder.\n"
               "  --pattern 0|1    (artist)title.mp3 (0, the default) or artist-title.mp3 (1)\n"
               "                                                        tagzo-cli rename --pattern 1 a.mp3\n"
               "  --format FORMAT  %a artist, %t title, %b album, %y year, %n track (two digits), %% a %\n"
               "                                                        tagzo-cli rename --format \"%n %t\" *.mp3\n"
               "  --dry-run        print the renames, change nothing    tagzo-cli rename --dry-run -r Music\n"
               "  --journal FILE   keep the old names, for undo          tagzo-cli rename --journal j.log -r Music\n"
               "  -r, --recursive  walk the folders among the FILEs     tagzo-cli rename -r Music\n";
    if (command == "export")
        return "usage: tagzo-cli export [-r] [--id3v2.3|--id3v2.4] [--overwrite] [--out DIR] [--journal J] FILE...\n"
               "Writes the record's texts (the RMP form's) into an ID3v2 tag in Unicode, keeping every frame\n"
               "of the tag the file has.\n"
               "  --id3v2.3, --id3v2.4  the version (default: the file's own tag's, else 2.3)\n"
               "                                                        tagzo-cli export --id3v2.4 a.mp3\n"
               "  --overwrite      the record's texts replace differing texts of the tag\n"
               "                                                        tagzo-cli export --overwrite a.mp3\n"
               "  --out DIR        write new files under DIR, leave the originals\n"
               "                                                        tagzo-cli export -r --out plain Music\n"
               "  --journal FILE   keep what each change replaces, for undo: old bytes in FILE, a rewritten\n"
               "                   file's old self in the folder FILE.kept beside it (a second name, no copy)\n"
               "  -r, --recursive  walk the folders among the FILEs     tagzo-cli export -r Music\n";
    if (command == "repair")
        return "usage: tagzo-cli repair [-r] [--dry-run] [--id3v2.3|--id3v2.4] [--journal J] FILE...\n"
               "Writes again in Unicode the ID3v2 text frames marked Latin-1 that hold code page 932,\n"
               "and nothing else; each change is printed as: path: FRAME old -> new\n"
               "  --dry-run        print the changes, write nothing     tagzo-cli repair --dry-run -r Music\n"
               "  --id3v2.3, --id3v2.4  the version (default: the tag's own; 2.2 becomes 2.3)\n"
               "                                                        tagzo-cli repair --id3v2.4 a.mp3\n"
               "  --journal FILE   keep what each change replaces, for undo: old bytes in FILE, a rewritten\n"
               "                   file's old self in the folder FILE.kept beside it (a second name, no copy)\n"
               "  -r, --recursive  walk the folders among the FILEs     tagzo-cli repair -r Music\n";
    if (command == "undo")
        return "usage: tagzo-cli undo JOURNAL\n"
               "Puts back, newest first and byte for byte, what the changes written with --journal JOURNAL\n"
               "replaced; a file that has changed since its change is left as it is, named. The journal keeps,\n"
               "before each change, the record's old bytes, or the old name, with paths whole from the root; a\n"
               "file rewritten whole is kept itself in the folder JOURNAL.kept beside it (a second name on the\n"
               "same disk; its bytes in the journal where no such name can be made), and undo moves it back.\n"
               "A change cut short is put back and named, a damaged record is left alone and named, and an\n"
               "undo records itself, so a second one changes nothing. Delete JOURNAL and JOURNAL.kept together\n"
               "once the changes are to stay.\n"
               "                                                        tagzo-cli set --journal j.log --album B *.mp3\n"
               "                                                        tagzo-cli undo j.log\n";
    if (command == "import")
        return "usage: tagzo-cli import [-r] [--rmp] [--dry-run] [--journal J] FILE...\n"
               "Writes the record from the texts of the file's ID3v2 tag, in code page 932, cut to 30 bytes\n"
               "(the year 4) on a character's boundary; each change is printed as: path: field old -> new\n"
               "  --rmp            longer texts take the RMP form whole  tagzo-cli import --rmp a.mp3\n"
               "  --dry-run        print the changes, write nothing     tagzo-cli import --dry-run -r Music\n"
               "  --journal FILE   keep what each change replaces, for undo: old bytes in FILE, a rewritten\n"
               "                   file's old self in the folder FILE.kept beside it (a second name, no copy)\n"
               "  -r, --recursive  walk the folders among the FILEs     tagzo-cli import -r Music\n";
    return nullptr;
}

int help(const char* command) {
    write_out(command_help(command));
    return k_ok;
}

int usage(const std::string& why) {
    write_err("tagzo-cli: " + why + "\n" + k_usage_text);
    return k_usage;
}

} // namespace cli
