// A small database with the field types and flags a file list uses, the seed of the table-file
// fuzz targets.
#pragma once

class DMLDatabase;

const DMLDatabase& SeedDatabase();
