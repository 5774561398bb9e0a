// --resources: where the program finds its picture and its sheet.
#pragma once

namespace zorvan::host {

// The resolved resource paths, one a line; returns the exit status.
int printResources();

}  // namespace zorvan::host
