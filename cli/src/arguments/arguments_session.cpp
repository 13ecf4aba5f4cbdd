// The session: its command's options, and the words and commands of its
// lines.
#include "argument_parts.h"
#include "input_file.h"

namespace deve::cli {

ParseResult parsing::parse_session(const std::vector<std::string> &words) {
    ParseResult result;
    CLI::App session{"Run command lines, one per line, with the link open across all of them: each line "
                     "holds one or more commands with the same words as on the command line (without the "
                     "global options). # starts a comment. The session ends at the end of the input or at a "
                     "line quit; the radio is left safe at the end and on every signal. The lines come from "
                     "standard input, or from --commands FILE (then every line is checked before the link "
                     "opens). An error (exit code 2 or 3) ends the session.",
                     "deve-cli session"};
    Session s;
    session.add_option("--commands", s.commands_file, "read the command lines from this file");
    try {
        parse_words(session, words);
    } catch (const HelpRequest &help) {
        result.kind = ParseResult::Kind::Help;
        result.text = help.text;
        return result;
    } catch (const CLI::ParseError &e) {
        result.kind = ParseResult::Kind::Error;
        result.text = std::string("session: ") + e.what();
        return result;
    }
    result.line.session = s;
    return result;
}

std::optional<std::vector<std::string>> split_session_line(const std::string &line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                word += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\r') {
            if (in_word) {
                words.push_back(word);
                word.clear();
                in_word = false;
            }
        } else if (c == '#' && !in_word) {
            break;
        } else {
            in_word = true;
            if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '\\' && i + 1 < line.size()) {
                word += line[++i];
            } else {
                word += c;
            }
        }
    }
    if (quote != 0) {
        return std::nullopt;
    }
    if (in_word) {
        words.push_back(word);
    }
    return words;
}

ParseResult parse_session_line(const std::vector<std::string> &words) {
    std::vector<std::vector<std::string>> parts(1);
    for (const std::string &word : words) {
        if (parsing::is_command(word)) {
            parts.emplace_back();
        }
        parts.back().push_back(word);
    }
    if (!parts.front().empty()) {
        ParseResult result;
        result.kind = ParseResult::Kind::Error;
        result.text = "'" + excerpt(parts.front().front()) + "' is not a command (commands: " +
                      parsing::command_words() + "; global options go on deve-cli's own command line)";
        return result;
    }
    return parsing::parse_commands(parts, 1);
}

}  // namespace deve::cli
