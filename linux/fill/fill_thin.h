#ifndef FILL_THIN_H
#define FILL_THIN_H

#include "fill_options.h"
#include "fill_run.h"
#include "fill_volume.h"

#include <QJsonObject>

#include <functional>

// The fill of one volume, as the caller runs it.
using Volume_Fill = std::function<Fill_Summary(const Fill_Volume &, const Fill_Options &)>;

// Runs the fill of one volume (fFill) with the discard and checks that --trim and --check ask
// for, in the order that leaves zeros without growing a thin disk. With --trim: the discard, judged
// on a marker of the run's own (dpProbe_Discard); where it leaves zeros no fill, else the fill and
// no discard after it. On a thin volume the fill takes no more than its pool has room for. Each
// step is reported on standard error; its figures go into qJson for the volume's --json object. A
// check or discard that cannot be made is one line saying why, and the fill still runs.
Fill_Summary fsThin_Volume(const Fill_Volume &volume, const Fill_Options &options, const Volume_Fill &fFill,
                           QJsonObject &qJson);

#endif // FILL_THIN_H
