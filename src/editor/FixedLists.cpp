// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/FixedLists.h"

const std::array<std::string_view, 16> g_modSourceNames{"En1", "En2", "DC1", "DC2", "PB",  "PB2", "Mod", "Vel",
                                                        "VlG", "Gat", "Aft", "KF",  "KF2", "Hld", "Exp", "Bth"};

const std::array<std::string_view, 8> kWaveformNames{"SUp", "SDn", "Squ", "Tri", "Nse", "S&H", "Dig", "Sil"};

const std::array<std::string_view, 4> kDistNames{"Clp", "Mir", "Zsn", "Wrp"};

const std::array<std::string_view, 4> kRow3ModeNames{"Fine", "Lin.", "Std.", "Wide"};
