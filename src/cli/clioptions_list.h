#pragma once
// The options of lumbrisk-cli with their --help texts: what clioptions.cpp reads.

#include <QCommandLineOption>
#include <QList>

namespace CliOptionList {

extern const QCommandLineOption Start;
extern const QCommandLineOption Duration;
extern const QCommandLineOption Bitrate;
extern const QCommandLineOption Format;
extern const QCommandLineOption Output;
extern const QCommandLineOption Beside;
extern const QCommandLineOption Join;
extern const QCommandLineOption Extension;
extern const QCommandLineOption KeepFolders;
extern const QCommandLineOption Jobs;
extern const QCommandLineOption FadeIn;
extern const QCommandLineOption FadeOut;
extern const QCommandLineOption LoudnessTarget;
extern const QCommandLineOption Limit;
extern const QCommandLineOption Starts;
extern const QCommandLineOption Crossfade;
extern const QCommandLineOption NoTags;
extern const QCommandLineOption Update;
extern const QCommandLineOption Prune;
extern const QCommandLineOption DryRun;
extern const QCommandLineOption Quiet;
extern const QCommandLineOption Json;

// Every option, those of the report files too, in --help's order.
QList<QCommandLineOption> All();

} // namespace CliOptionList
