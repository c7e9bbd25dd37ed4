// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Shell completions for bash, zsh and fish, written from the command and
// option tables so that they name what the reader takes and nothing else.
// Each script walks the line as the reader does: options anywhere, an option
// with a value takes the next word unless given as NAME=VALUE, the first other
// word is the command, and after "--" every word is an argument.
#include <iterator>

#include "app/shifterctl/CommandLine.h"

namespace ctl {

namespace {

QString sh_quote(const QString& s) { return "'" + QString(s).replace("'", "'\\''") + "'"; }
QString fish_quote(const QString& s) { return "'" + QString(s).replace("\\", "\\\\").replace("'", "\\'") + "'"; }

QStringList command_names() {
    QStringList names;
    for (const CommandSpec& c : command_table()) names << c.name;
    return names;
}

// The options a shell offers: those of the command, or before one any.
QStringList offered_options(const CommandSpec* c) {
    QStringList names;
    for (const OptionSpec& o : option_table()) {
        if (o.hidden || (c && !command_takes(*c, o.name))) continue;
        if (o.alias) names << o.alias;
        names << o.name;
    }
    return names;
}

QStringList value_options() {
    QStringList names;
    for (const OptionSpec& o : option_table())
        if (o.value) names << o.name;
    return names;
}

QStringList commands_with(Complete argument) {
    QStringList names;
    for (const CommandSpec& c : command_table())
        if (c.argument == argument) names << c.name;
    return names;
}

QString option_for(Complete value) {
    for (const OptionSpec& o : option_table())
        if (o.completes == value && !o.hidden) return o.name;
    return {};
}

QString threshold_words() { return "h1= h2= v1= v2= s1= s2="; }
QString shell_words() { return "bash zsh fish"; }

// The walk over the words before the cursor, in bash and zsh alike: sets
// command, nargs (its arguments so far), expect (an option still waiting for
// its value), ended (after "--") and demo.
QString walk(const QString& first_index, const QString& last) {
    return "    local command= expect= ended= demo= nargs=0 i word\n"
           "    for ((i = " + first_index + "; i < " + last + "; i++)); do\n"
           "        word=${words[i]}\n"
           "        if [[ -n $expect ]]; then expect=; continue; fi\n"
           "        if [[ -z $ended ]]; then\n"
           "            case $word in\n"
           "                --) ended=1; continue ;;\n"
           "                --demo) demo=--demo; continue ;;\n"
           "                " + value_options().join('|') + ") expect=$word; continue ;;\n"
           "                -?*) continue ;;\n"
           "            esac\n"
           "        fi\n"
           "        if [[ -z $command ]]; then command=$word; else ((nargs++)); fi\n"
           "    done\n";
}

QString bash_script() {
    QString s = "# bash completion for shifterctl, written by shifterctl --completion bash\n"
                "_shifterctl() {\n"
                "    local line=${COMP_LINE:0:COMP_POINT} cur=\n"
                "    local -a words\n"
                "    read -ra words <<< \"$line\"\n"
                "    if [[ $line != *[[:space:]] && ${#words[@]} -gt 0 ]]; then\n"
                "        cur=${words[-1]}\n"
                "        unset 'words[-1]'\n"
                "    fi\n" +
                walk("1", "${#words[@]}") +
                "    local option= lead=\n"
                "    if [[ -n $expect ]]; then\n"
                "        option=$expect\n"
                "    elif [[ -z $ended && $cur == --*=* ]]; then\n"
                "        option=${cur%%=*}\n"
                "        lead=$option=\n"
                "    fi\n"
                "    COMPREPLY=()\n"
                "    if [[ -n $option ]]; then\n"
                "        local value=${cur#\"$lead\"}\n"
                "        case $option in\n"
                "            " + option_for(Complete::BoxPath) +
                ") COMPREPLY=($(compgen -W \"$(\"${words[0]}\" $demo list 2>/dev/null | cut -f1)\" -- \"$value\")) ;;\n"
                "            " + option_for(Complete::Host) + ") COMPREPLY=($(compgen -A hostname -- \"$value\")) ;;\n"
                "            " + option_for(Complete::Shell) + ") COMPREPLY=($(compgen -W '" + shell_words() +
                "' -- \"$value\")) ;;\n"
                "        esac\n"
                "        COMPREPLY=(\"${COMPREPLY[@]/#/$lead}\")\n"
                "    elif [[ -z $ended && $cur == -* ]]; then\n"
                "        case $command in\n"
                "            '') COMPREPLY=($(compgen -W " + sh_quote(offered_options(nullptr).join(' ')) +
                " -- \"$cur\")) ;;\n";
    for (const CommandSpec& c : command_table())
        s += QString("            %1) COMPREPLY=($(compgen -W %2 -- \"$cur\")) ;;\n")
                 .arg(c.name, sh_quote(offered_options(&c).join(' ')));
    s += "        esac\n"
         "    elif [[ -z $command ]]; then\n"
         "        COMPREPLY=($(compgen -W " + sh_quote(command_names().join(' ')) + " -- \"$cur\"))\n"
         "    else\n"
         "        case $command in\n"
         "            " + commands_with(Complete::File).join('|') +
         ") ((nargs == 0)) && compopt -o default ;;\n"
         "            " + commands_with(Complete::Command).join('|') +
         ") ((nargs == 0)) && COMPREPLY=($(compgen -W " + sh_quote(command_names().join(' ')) + " -- \"$cur\")) ;;\n"
         "            " + commands_with(Complete::Threshold).join('|') +
         ") compopt -o nospace; COMPREPLY=($(compgen -W '" + threshold_words() + "' -- \"$cur\")) ;;\n"
         "        esac\n"
         "    fi\n"
         "    # Bash puts back only what follows the last = or : of the word.\n"
         "    local breaks=${COMP_WORDBREAKS//[^=:]/}\n"
         "    if [[ -n $breaks && $cur == *[$breaks]* ]]; then\n"
         "        local prefix=${cur%\"${cur##*[$breaks]}\"}\n"
         "        COMPREPLY=(\"${COMPREPLY[@]#\"$prefix\"}\")\n"
         "    fi\n"
         "}\n"
         "complete -F _shifterctl shifterctl\n";
    return s;
}

QString zsh_described(const QString& array, const QStringList& entries) {
    return "    " + array + "=(" + entries.join(' ') + ")\n";
}

QString zsh_script() {
    QStringList commands;
    for (const CommandSpec& c : command_table()) commands << sh_quote(QString(c.name) + ":" + c.summary);
    const auto options_of = [](const CommandSpec* c) {
        QStringList entries;
        for (const QString& name : offered_options(c)) {
            const OptionSpec& o = *find_option(name);
            QString help = option_help_text(o.help);
            if (c)
                for (const CommandOption& own : c->options)
                    if (own.name && name == own.name && own.help) help = own.help;
            entries << sh_quote(name + ":" + help);
        }
        return entries;
    };
    QString s = "#compdef shifterctl\n"
                "# zsh completion for shifterctl, written by shifterctl --completion zsh\n"
                "_shifterctl() {\n"
                "    local -a commands options\n" +
                zsh_described("commands", commands) + walk("2", "CURRENT") +
                "    local cur=${words[CURRENT]} option=\n"
                "    if [[ -n $expect ]]; then\n"
                "        option=$expect\n"
                "    elif [[ -z $ended && $cur == --*=* ]]; then\n"
                "        option=${cur%%=*}\n"
                "        compset -P '*='\n"
                "    fi\n"
                "    if [[ -n $option ]]; then\n"
                "        case $option in\n"
                "            " + option_for(Complete::BoxPath) +
                ") compadd -- ${(f)\"$(${words[1]} $demo list 2>/dev/null | cut -f1)\"} ;;\n"
                "            " + option_for(Complete::Host) + ") _hosts ;;\n"
                "            " + option_for(Complete::Shell) + ") compadd -- " + shell_words() + " ;;\n"
                "        esac\n"
                "    elif [[ -z $ended && $cur == -* ]]; then\n"
                "        case $command in\n"
                "            '')\n" + zsh_described("        options", options_of(nullptr)) + "            ;;\n";
    for (const CommandSpec& c : command_table())
        s += "            " + QString(c.name) + ")\n" + zsh_described("        options", options_of(&c)) +
             "            ;;\n";
    s += "        esac\n"
         "        _describe -t options 'option' options\n"
         "    elif [[ -z $command ]]; then\n"
         "        _describe -t commands 'command' commands\n"
         "    else\n"
         "        case $command in\n"
         "            " + commands_with(Complete::File).join('|') + ") ((nargs == 0)) && _files ;;\n"
         "            " + commands_with(Complete::Command).join('|') +
         ") ((nargs == 0)) && _describe -t commands 'command' commands ;;\n"
         "            " + commands_with(Complete::Threshold).join('|') + ") compadd -S '' -- " + threshold_words() +
         " ;;\n"
         "        esac\n"
         "    fi\n"
         "}\n"
         "if [[ $zsh_eval_context[-1] == loadautofunc ]]; then\n"
         "    _shifterctl \"$@\"\n"
         "else\n"
         "    compdef _shifterctl shifterctl\n"
         "fi\n";
    return s;
}

QString fish_script() {
    const QString no_command = "__shifterctl_no_command";
    QString s = "# fish completion for shifterctl, written by shifterctl --completion fish\n"
                "function __shifterctl_no_command\n"
                "    not __fish_seen_subcommand_from " + command_names().join(' ') + "\n"
                "end\n"
                "function __shifterctl_boxes\n"
                "    set -l words (commandline -opc)\n"
                "    set -l demo\n"
                "    contains -- --demo $words; and set demo --demo\n"
                "    $words[1] $demo list 2>/dev/null | string split -f1 \\t\n"
                "end\n"
                "complete -c shifterctl -f\n";
    for (const CommandSpec& c : command_table())
        s += QString("complete -c shifterctl -n %1 -a %2 -d %3\n").arg(no_command, c.name, fish_quote(c.summary));
    for (const OptionSpec& o : option_table()) {
        if (o.hidden) continue;
        QStringList takers;
        for (const CommandSpec& c : command_table())
            if (command_takes(c, o.name)) takers << c.name;
        QString line = "complete -c shifterctl";
        if (takers.size() < static_cast<qsizetype>(command_table().size()))
            line += " -n " + fish_quote(takers.isEmpty() ? no_command
                                                         : no_command + "; or __fish_seen_subcommand_from " +
                                                               takers.join(' '));
        if (o.alias) line += QString(" -s ") + (o.alias + 1);
        line += QString(" -l ") + (o.name + 2);
        if (o.value) line += " -x";
        if (o.completes == Complete::BoxPath) line += " -a '(__shifterctl_boxes)'";
        if (o.completes == Complete::Host) line += " -a '(__fish_print_hostnames)'";
        if (o.completes == Complete::Shell) line += " -a " + fish_quote(shell_words());
        s += line + " -d " + fish_quote(option_help_text(o.help)) + "\n";
    }
    s += "complete -c shifterctl -n " +
         fish_quote("__fish_seen_subcommand_from " + commands_with(Complete::File).join(' ')) + " -F\n";
    for (const CommandSpec& c : command_table())
        s += QString("complete -c shifterctl -n %1 -a %2 -d %3\n")
                 .arg(fish_quote("__fish_seen_subcommand_from " + commands_with(Complete::Command).join(' ')),
                      c.name, fish_quote(c.summary));
    s += "complete -c shifterctl -n " +
         fish_quote("__fish_seen_subcommand_from " + commands_with(Complete::Threshold).join(' ')) + " -a " +
         fish_quote(threshold_words()) + "\n";
    return s;
}

}  // namespace

QString completion_script(const QString& shell) {
    if (shell == "bash") return bash_script();
    if (shell == "zsh") return zsh_script();
    if (shell == "fish") return fish_script();
    return {};
}

}  // namespace ctl
