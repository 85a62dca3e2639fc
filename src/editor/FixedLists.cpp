#include "editor/FixedLists.h"

const std::array<std::string_view, 16> g_modSourceNames{"En1", "En2", "DC1", "DC2", "PB",  "PB2", "Mod", "Vel",
                                                        "VlG", "Gat", "Aft", "KF",  "KF2", "Hld", "Exp", "Bth"};

const std::array<std::string_view, 8> kWaveformNames{"SUp", "SDn", "Squ", "Tri", "Nse", "S&H", "Dig", "Sil"};

const std::array<std::string_view, 4> kDistNames{"Clp", "Mir", "Zsn", "Wrp"};

const std::array<std::string_view, 4> kRow3ModeNames{"Fine", "Lin.", "Std.", "Wide"};

// Entries 14 and 15 carry two blanks before "DCO2".
const std::array<std::string_view, 17> kFilterTypeNames{
    "Muted / Disabled",         "DCO1 => Low Pass",        "DCO1 => High Pass",       "DCO1 => Band Pass",
    "DCO1 => Band Rejection",   "DCO2 => Low Pass",        "DCO2 => High Pass",       "DCO2 => Band Pass",
    "DCO2 => Band Rejection",   "DCO1+2 => Low Pass",      "DCO1+2 => High Pass",     "DCO1+2 => Band Pass",
    "DCO1+2 => Band Rejection", "DCO1 => LP1 DCO2 => LP2", "DCO1 => LP  DCO2 => HP",  "DCO1 => HP  DCO2 => LP",
    "DCO1 => HP1 DCO2 => HP2"};
