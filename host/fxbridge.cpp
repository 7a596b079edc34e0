#include "host/fxbridge.h"

#include "imaging/commonprocs.h"
#include "settings/DataHandling.h"
#include "settings/prefsloader.h"

void InitMyPlugIn(PluginDataPtr& TheData) {
    Assert(TheData, "Unable to allocate new data structure");
    MakePrefsFile();
    InitPluginData(TheData);
}

void InitPluginData(PluginDataPtr TheConfig) {
    Assert(TheConfig, "Nil theConfig on InitPluginData");
    ResetConfig(TheConfig, true);
    ReadConfig(TheConfig);
    SaveConfig(TheConfig);
}
