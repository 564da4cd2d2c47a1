// SPDX-License-Identifier: MIT
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "decodeloadpolicy.h"

// How video items decode, from the environment, read once per process. Each mechanism can be
// switched so that the benchmarks can compare with and without it:
//
//   STATION_HWDEC             auto (default): hardware decoding where the player finds a decoder
//                             of its safe list, drawing its pictures with OpenGL where it can
//                             and copying them back to memory where it cannot (software drawing,
//                             or OpenGL without the decoder's interop); no: software only; any
//                             other value is handed to the player as its "hwdec" (vaapi,
//                             vaapi-copy, nvdec, vdpau...).
//   STATION_DECODE_SKIP       how far a live tile that cannot keep up may decode less: off,
//                             nonref, deblock or keyframes (default: keyframes, every step).
//   STATION_DECODER_THREADS   decoding threads per live tile: auto (default: one each once there
//                             are as many live tiles as cores, the decoder's own choice below
//                             that), or a number (0: the decoder's own choice).
//   STATION_SKIP_LOOP_FILTER  deblocking left out where a tile shows the picture at under half
//                             its size both ways (never in full view): all (default), nonref
//                             (only frames no other refers to) or off.
//   STATION_OPENING_LIMIT     live streams opening at once: auto (default: four per core,
//                             at least 16), a number, or 0 for no limit (see OpeningGate).
struct LiveDecodeSettings
{
    QString hwdec = QStringLiteral("auto");
    DecodeLoadPolicy::Level highestSkip = DecodeLoadPolicy::KeyFramesOnly;
    // -1: auto.
    int decoderThreads = -1;
    // The player's value for small pictures: "all", "nonref", or empty (left alone).
    QString smallPictureLoopFilter = QStringLiteral("all");
    // -1: auto.
    int openingLimit = -1;

    // Values that do not parse keep their default, and are described in `problems`.
    static LiveDecodeSettings parse(const QProcessEnvironment& environment, QStringList* problems);
    // This process's settings, parsed on first use; problems are logged then.
    static const LiveDecodeSettings& current();

    // The player's "hwdec".
    QString playerHwdec() const;
    // The player's "vd-lavc-threads" for a live tile among `liveTiles` on `cores` cores.
    int threadsFor(int liveTiles, int cores) const;
    // How many live streams may open at once on `cores` cores (0: no limit).
    int openingLimitFor(int cores) const;
};
