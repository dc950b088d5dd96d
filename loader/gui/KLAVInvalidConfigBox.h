#pragma once
// The box that tells, in graphical mode, that the configuration file was not
// valid and the default file took its place: "KLAV message" / "Config file
// not valid. Click OK to launch application", in the translation context
// "QObject". Modal: returns once the user clicks OK.

void showInvalidConfigBox();
