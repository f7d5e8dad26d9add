// A kept scan's table (rangescan-capture's OUT.csv, which rangescan-sim
// --replay answers from): its header line, and the columns the replay reads.
// One row an aim, in scan order; no field holds a comma or a quote.
#pragma once

const char* const SCAN_TABLE_HEADER = "h,v,pan_deg,tilt_deg,reply,cm,x_cm,y_cm,z_cm,ms";
const int SCAN_TABLE_COLUMNS = 10;
const int SCAN_TABLE_H = 0, SCAN_TABLE_V = 1, SCAN_TABLE_REPLY = 4;
