#ifndef ORVANTA_HOST_CSV_H
#define ORVANTA_HOST_CSV_H

#include <string>
#include <vector>

class Record;
class RequestData;

// How this host puts records on the wire: values separated by commas,
// integers in decimal, a text in double quotes (inner quotes doubled)
// only when it holds a comma, a double quote or a line end.
std::string csvField(const char* text);
std::string csvLine(const Record& record);
// Every line of data, each as its text without a line end.
std::vector<std::string> csvLines(const RequestData& data);

#endif
