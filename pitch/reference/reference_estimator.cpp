#include "reference_estimator.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace reference {
namespace {

int floorPower2(int v) {
    int p = 1;
    while (p * 2 <= v && p < (1 << 30))
        p *= 2;
    return v < 1 ? 0 : p;
}

int power2(int n) {
    return n <= 0 ? 1 : 1 << n;
}

} // namespace

int bestDistance(const int *histogram, int n, int delta) {
    int bestValue = -1, best = -1;
    for (int i = 0; i < n; ++i) {
        int s = 0;
        for (int j = i - delta; j <= i + delta; ++j) {
            if (j >= 0 && j < n)
                s += histogram[j];
        }
        if (s == bestValue) {
            if (i == best * 2)
                best = i;
        } else if (s > bestValue) {
            bestValue = s;
            best = i;
        }
    }
    return best;
}

void markExtrema(const double *sam, int n, double mean, double threshold, int delta, int *mins,
                 int &nMins, int *maxs, int &nMaxs) {
    bool maxArmed = false, minArmed = false;
    double previousDiff = -1000.0;
    int lastMax = -1000000, lastMin = -1000000;
    nMins = nMaxs = 0;
    for (int i = 2; i < n; ++i) {
        const double si = sam[i] - mean, si1 = sam[i - 1] - mean;
        if (si1 <= 0 && si > 0)
            maxArmed = true;
        if (si1 >= 0 && si < 0)
            minArmed = true;
        const double d = si - si1;
        if (previousDiff > -1000.0) {
            if (minArmed && previousDiff < 0 && d >= 0 && std::fabs(si) >= threshold &&
                i > lastMin + delta) {
                mins[nMins++] = i;
                lastMin = i;
                minArmed = false;
            }
            if (maxArmed && previousDiff > 0 && d <= 0 && std::fabs(si) >= threshold &&
                i > lastMax + delta) {
                maxs[nMaxs++] = i;
                lastMax = i;
                maxArmed = false;
            }
        }
        previousDiff = d;
    }
}

double waveletPitch(const double *samples, int startsample, int samplecount) {
    const int N = floorPower2(samplecount);
    if (N < 1)
        return 0.0;
    std::vector<double> sam(samples + startsample, samples + startsample + N);
    std::vector<int> distances(N), mins(N), maxs(N);

    double sum = 0.0, maxValue = 0.0, minValue = 0.0;
    for (int i = 0; i < N; ++i) {
        sum += sam[i];
        if (sam[i] > maxValue)
            maxValue = sam[i];
        if (sam[i] < minValue)
            minValue = sam[i];
    }
    const double mean = sum / N;
    maxValue -= mean;
    minValue -= mean;
    const double amplitude = maxValue > -minValue ? maxValue : -minValue;
    const double threshold = amplitude * 0.75;

    int level = 0, n = N;
    double previousMode = -1.0;
    while (true) {
        const int delta = (int)(44100.0 / (power2(level) * 3000.0));
        if (n < 2)
            return 0.0;

        int nMins = 0, nMaxs = 0;
        markExtrema(sam.data(), n, mean, threshold, delta, mins.data(), nMins, maxs.data(), nMaxs);
        if (nMins == 0 && nMaxs == 0)
            return 0.0;

        for (int i = 0; i < N; ++i)
            distances[i] = 0;
        for (int j = 0; j < nMins; ++j)
            for (int k = 1; k <= 2 && j + k < nMins; ++k)
                distances[std::abs(mins[j] - mins[j + k])] += 1;
        for (int j = 0; j < nMaxs; ++j)
            for (int k = 1; k <= 2 && j + k < nMaxs; ++k)
                distances[std::abs(maxs[j] - maxs[j + k])] += 1;

        const int best = bestDistance(distances.data(), n, delta);
        double weighted = 0.0;
        int count = 0;
        for (int i = best - delta; i <= best + delta; ++i) {
            if (i >= 0 && i < N && distances[i] > 0) {
                weighted += i * distances[i];
                count += distances[i];
            }
        }
        const bool hasMode = count > 0;
        const double mode = hasMode ? weighted / count : 0.0;

        if (hasMode && previousMode > -1.0 && std::fabs(mode * 2 - previousMode) <= 2 * delta)
            return 44100.0 / (power2(level - 1) * previousMode);

        previousMode = hasMode ? mode : -1.0;
        ++level;
        if (level >= 6)
            return 0.0;
        for (int i = 0; i < n / 2; ++i)
            sam[i] = (sam[2 * i] + sam[2 * i + 1]) / 2.0;
        n /= 2;
    }
}

} // namespace reference
