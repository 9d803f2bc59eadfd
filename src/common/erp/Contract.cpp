#include "common/erp/Contract.h"

namespace erp {

namespace {

constexpr ClassContract kClasses[] = {
    {Downloads::kClass, Downloads::kClassMethods, {}, Downloads::kProperties, Downloads::kQueries},
    {Pos::kClass, Pos::kClassMethods, {}, Pos::kGridProperties, Pos::kQueries},
    {Ekgrp::kClass, Ekgrp::kClassMethods, {}, {}, Ekgrp::kQueries},
    {Defaults::kClass, {}, {}, Defaults::kProperties, {}},
    {Liefid::kClass, Liefid::kClassMethods, {}, {}, {}},
    {Xw::kClass, {}, {}, {}, Xw::kQueries},
    {Windows::kClass, {}, Windows::kMethods, {}, Windows::kQueries},
    {ParPersEdv::kClass, {}, ParPersEdv::kMethods, ParPersEdv::kProperties, ParPersEdv::kQueries},
    {ParPersAbt::kClass, {}, {}, ParPersAbt::kProperties, {}},
    {PersBasis::kClass, {}, {}, PersBasis::kProperties, {}},
    {Menue::kClass, Menue::kClassMethods, {}, {}, {}},
    {ServerList::kClass, {}, {}, ServerList::kProperties, ServerList::kQueries},
    {KundenGruppen::kClass, {}, {}, {}, KundenGruppen::kQueries},
    {KontoSammelKontoKreis::kClass, {}, {}, {}, KontoSammelKontoKreis::kQueries},
};

} // namespace

std::span<const ClassContract> ProgramClasses() {
    return kClasses;
}

std::span<const Routine> ProgramRoutines() {
    return Routines::kAll;
}

} // namespace erp
