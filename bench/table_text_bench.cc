// The table text file's line writer and reader, without the database.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "datafiles/table_text.h"

namespace {

using volmek::db::Delivery;
using volmek::db::FetchedValue;

std::vector<std::pair<Delivery, FetchedValue>> Row() {
  std::vector<std::pair<Delivery, FetchedValue>> row(5);
  row[0].first = Delivery::kInteger;
  row[0].second.is_null = false;
  row[0].second.integer = 123456;
  row[1].first = Delivery::kFloat;
  row[1].second.is_null = false;
  row[1].second.text = "1234.5";
  row[2].first = Delivery::kText;
  row[2].second.is_null = false;
  row[2].second.text = "NOMBRE DE CLIENTE 123456 O'NEIL";
  row[3].first = Delivery::kText;
  row[3].second.is_null = false;
  row[3].second.text = "C0123456";
  row[4].first = Delivery::kText;
  row[4].second.is_null = false;
  row[4].second.text = "2026-12-08 10:11:12";
  return row;
}

void BM_WriteLine(benchmark::State& state) {
  auto row = Row();
  std::string line;
  for (auto _ : state) {
    line.clear();
    for (const auto& [delivery, value] : row) {
      volmek::datafiles::AppendValue(delivery, value, line);
      line.push_back(',');
    }
    benchmark::DoNotOptimize(line.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteLine);

// The same row a batch of 1024 at a time, as backup formats what one array fetch gives.
void BM_FormatRows(benchmark::State& state) {
  auto row = Row();
  std::vector<Delivery> deliveries;
  volmek::db::FetchedRows rows;
  rows.columns = row.size();
  for (const auto& [delivery, value] : row) deliveries.push_back(delivery);
  for (int idx = 0; idx < 1024; ++idx) {
    for (const auto& [delivery, value] : row) rows.Append(value);
    ++rows.rows;
  }
  volmek::datafiles::RowFormatter formatter(deliveries);
  std::string text;
  for (auto _ : state) {
    text.clear();
    formatter.Append(rows, text);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.rows));
}
BENCHMARK(BM_FormatRows);

void BM_ParseLine(benchmark::State& state) {
  std::string line =
      "123456,1234.50,'NOMBRE DE CLIENTE 123456 O''NEIL','C0123456','2026-12-08 10:11:12'";
  for (auto _ : state) {
    auto fields = volmek::datafiles::ParseLine(line);
    benchmark::DoNotOptimize(fields);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseLine);

}  // namespace

BENCHMARK_MAIN();
