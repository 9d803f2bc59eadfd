#pragma once

class StandinEngine;

// Fills a new database with the demo company; a database that already holds
// the demo company is left as it is.
void FillDemoData(StandinEngine& engine);
