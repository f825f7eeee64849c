#include "acquisition/Thermocouples.h"

#include "common/NumberFormat.h"
#include "diagnostics/LogChannel.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

// ITS-90 inverse reference functions (NIST Monograph 175) for an input in µV: the standard's
// coefficient d_k (mV) times 10^(-3k), highest power first. Type T below 0 µV uses a linear term
// of 25.94972364 °C/mV.
// clang-format off
// J: -8.095 to 0 mV, degree 8
const double kJ0[] = {
    -8.3823321E-29, -2.3963370E-24, -2.8131513E-20, -1.7256713E-16, -5.9086933E-13,
    -1.0752178E-09, -1.2286185E-06, 1.9528268E-02, 0.0
};
// J: 0 to 42.919 mV, degree 7
const double kJ1[] = {
    5.099890E-31, -5.344285E-26, 3.585153E-21, -2.549687E-16, 1.036969E-11,
    -2.001204E-07, 1.978425E-02, 0.0
};
// J: 42.919 to 69.553 mV, degree 5
const double kJ2[] = {
    4.73886084E-21, -1.43033468E-15, 1.70276630E-10, -9.94773230E-06, 3.00543684E-01,
    -3.11358187E+03
};
// K: -5.891 to 0 mV, degree 8
const double kK0[] = {
    -5.1920577E-28, -1.0450598E-23, -8.6632643E-20, -3.7342377E-16, -8.9773540E-13,
    -1.0833638E-09, -1.1662878E-06, 2.5173462E-02, 0.0
};
// K: 0 to 20.644 mV, degree 9
const double kK1[] = {
    -1.052755E-35, 1.057734E-30, -4.413030E-26, 9.804036E-22, -1.228034E-17,
    8.315270E-14, -2.503131E-10, 7.860106E-08, 2.508355E-02, 0.0
};
// K: 20.644 to 54.886 mV, degree 6
const double kK2[] = {
    -3.110810E-26, 8.802193E-21, -9.650715E-16, 5.464731E-11, -1.646031E-06,
    4.830222E-02, -1.318058E+02
};
// E: -8.825 to 0 mV, degree 8
const double kE0[] = {
    -1.1564890E-29, -3.4034030E-25, -4.1360199E-21, -2.6084314E-17, -9.2502871E-14,
    -1.5859697E-10, -4.3514970E-07, 1.6977288E-02, 0.0
};
// E: 0 to 76.373 mV, degree 9
const double kE1[] = {
    -3.2447087E-41, 1.0629823E-35, -1.3735879E-30, 8.4036165E-26, -1.7896001E-21,
    -7.3562749E-17, 6.5435585E-12, -2.3301759E-07, 1.7057035E-02, 0.0
};
// T: -5.603 to 0 mV, degree 7
const double kT0[] = {
    1.2668171E-24, 2.0241446E-20, 1.3304473E-16, 4.2527777E-13, 7.9018692E-10,
    -2.1316967E-07, 2.594972364E-02, 0.0
};
// T: 0 to 20.872 mV, degree 6
const double kT1[] = {
    -7.293422E-25, 6.048144E-20, -2.165394E-15, 4.637791E-11, -7.602961E-07,
    2.592800E-02, 0.0
};
// S: -0.235 to 1.874 mV, degree 9
const double kS0[] = {
    2.79786260E-27, -2.34181944E-23, 8.23027880E-20, -1.59085941E-16, 1.88821343E-13,
    -1.52248592E-10, 1.02237430E-07, -8.00504062E-05, 1.84949460E-01, 0.0
};
// S: 1.874 to 11.950 mV, degree 9
const double kS1[] = {
    8.211272125E-36, -1.447379511E-31, 2.183475087E-26, -1.291637500E-21, 3.187963771E-17,
    -4.163257839E-13, 3.145945973E-09, -1.534713402E-05, 1.466298863E-01, 1.291507177E+01
};
// S: 10.332 to 17.536 mV, degree 5
const double kS2[] = {
    2.081618890E-19, -1.441693666E-14, 4.719686976E-10, -8.536869453E-06, 1.621573104E-01,
    -8.087801117E+01
};
// S: 17.536 to 18.693 mV, degree 4
const double kS3[] = {6.247205420E-13, -4.265693686E-08, 1.092657613E-03, -1.235892298E+01, 5.333875126E+04};
// R: -0.226 to 1.923 mV, degree 10
const double kR0[] = {
    -3.3187769E-30, 3.1353611E-26, -1.2607281E-22, 2.8239471E-19, -3.8953900E-16,
    3.5145659E-13, -2.2703580E-10, 1.3068619E-07, -9.3835290E-05, 1.8891380E-01,
    0.0
};
// R: 1.923 to 13.228 mV, degree 9
const double kR1[] = {
    6.481976217E-35, -5.313401790E-30, 1.994710149E-25, -4.458750426E-21, 6.468412046E-17,
    -6.249428360E-13, 4.031129726E-09, -1.844024844E-05, 1.472644573E-01, 1.334584505E+01
};
// R: 11.361 to 19.739 mV, degree 5
const double kR2[] = {
    1.492290091E-19, -1.191577910E-14, 4.279433549E-10, -8.342197663E-06, 1.553962042E-01,
    -8.199599416E+01
};
// R: 19.739 to 21.103 mV, degree 4
const double kR3[] = {2.560740231E-13, -1.952394635E-08, 5.582903813E-04, -7.023729171E+00, 3.406177836E+04};
// N: -3.990 to 0 mV, degree 9
const double kN0[] = {
    7.3138868E-30, 1.1582665E-25, 7.7075166E-22, 2.7754916E-18, 5.8488586E-15,
    7.2060525E-12, 5.2229312E-09, 1.1010485E-06, 3.8436847E-02, 0.0
};
// N: 0 to 20.613 mV, degree 7
const double kN1[] = {
    -7.98156E-29, 5.39280E-24, -1.17272E-19, -2.12169E-18, 4.70205E-11,
    -1.08267E-06, 3.86896E-02, 0.0
};
// N: 20.613 to 47.513 mV, degree 5
const double kN2[] = {7.767022E-22, -1.274371E-16, 9.855391E-12, -3.915159E-07, 3.300943E-02, 1.972485E+01};
// B: 0.291 to 2.431 mV, degree 8
const double kB0[] = {
    -2.4742860E-24, 2.9886750E-20, -1.5523037E-16, 4.5508542E-13, -8.3345952E-10,
    1.0052644E-06, -8.4765304E-04, 6.9971500E-01, 9.8423321E+01
};
// B: 2.431 to 13.820 mV, degree 8
const double kB1[] = {
    -2.4878585E-30, 1.8661696E-25, -6.0625199E-21, 1.1195870E-16, -1.2965303E-12,
    9.9160804E-09, -5.2742887E-05, 2.8510504E-01, 2.1315071E+02
};
// clang-format on

// Types C, D and G: temperature = 100 * P(z) / Q(z) with z = ln(x * 1e-4 + 0.1), x in µV.
// They follow the tungsten-rhenium calibration equivalents published by OMEGA Engineering
// ("Tungsten-Rhenium Thermocouples Calibration Equivalents", z202; IPTS-68 curves given as
// polynomials E(t)). The first C branch and the last D branch are the established rows; the other
// branches were fitted to the numerically inverted curves (least squares, refined towards the
// smallest largest error), and their denominators stay positive over their voltages. Against
// those curves every branch stays within 0.04 °C for C and D and within 0.01 °C for G. The range
// limits are the curves' 0 °F and 4200 °F.
// clang-format off
// C below 14020 µV.
const double kC0P[] = {0.008601614659, 0.06127341449, 0.330742398, -0.2811257468, 0.3529991961, 5.17743061};
const double kC0Q[] = {-0.003218373358, 0.01077152637, -0.0927148757, 0.3947109472, -0.9242856393, 1};
// C from 14020 µV.
const double kC1P[] = {-316.7650228, 740.7405036, 527.8325412, -2458.118683, 1591.994522, 5.608724834};
const double kC1Q[] = {50.01562015, -318.4806502, 751.9320517, -785.7806753, 307.5440853, 1};
// D below 28870 µV.
const double kD0P[] = {0.1979756944, 3.675875697, 16.73363361, 12.3060651, -18.70601876, 5.462357975};
const double kD0Q[] = {-0.002846324381, -0.4371043519, -0.6352975803, 5.799180533, -4.335764995, 1};
// D from 28870 µV below 38277 µV.
const double kD1P[] = {22.7420199, -87.905165, 144.0672649, -152.138903, 90.99101289, -8.341565654};
const double kD1Q[] = {-0.2395417469, 1.273345375, -0.410327751, -3.751299143, 2.792248652, 1};
// D from 38277 µV.
const double kD2P[] = {-5.240350498, 7.70832259};
const double kD2Q[] = {0.3192696067, -1.14981767, 1};
// G below 30.88 µV.
const double kG0P[] = {-160.999164, -1038.633703, -1827.812249, 246.8234715, 2105.198137};
const double kG0Q[] = {130.0492418, 768.561535, 1454.168267, 861.2608204, 1};
// G from 30.88 µV below 3720.2 µV.
const double kG1P[] = {0.1034657905, 1.263233952, 5.552620681, 10.5376774, 7.337685282};
const double kG1Q[] = {0.0009765656897, -0.01325669234, -0.0981780449, -0.01615061787, 0.7279418524, 1};
// G from 3720.2 µV.
const double kG2P[] = {0.2314008543, 0.3611596124, -0.9875344418, -2.240586153, -1.570750316, 7.337262392};
const double kG2Q[] = {-0.02929546212, 0.1195130449, -0.05722238312, 0.08912625064, -0.9223924933, 1};
// clang-format on

// One branch of a temperature function: used from `from` µV up to the next branch's `from`.
// Without a denominator it is a polynomial in x (µV), with one a rational function of z.
struct TBranch {
    double from;
    const double* p;
    std::size_t np;
    const double* q;
    std::size_t nq;
};

template <std::size_t N> constexpr TBranch Poly(double from, const double (&p)[N]) {
    return {from, p, N, nullptr, 0};
}
template <std::size_t N, std::size_t M>
constexpr TBranch Rational(double from, const double (&p)[N], const double (&q)[M]) {
    return {from, p, N, q, M};
}

constexpr double kBelowAll = -std::numeric_limits<double>::infinity();

const TBranch kJ[] = {Poly(kBelowAll, kJ0), Poly(0, kJ1), Poly(42919, kJ2)};
const TBranch kK[] = {Poly(kBelowAll, kK0), Poly(0, kK1), Poly(20644, kK2)};
const TBranch kE[] = {Poly(kBelowAll, kE0), Poly(0, kE1)};
const TBranch kT[] = {Poly(kBelowAll, kT0), Poly(0, kT1)};
const TBranch kS[] = {Poly(kBelowAll, kS0), Poly(1874, kS1), Poly(11950, kS2), Poly(17536, kS3)};
const TBranch kR[] = {Poly(kBelowAll, kR0), Poly(1923, kR1), Poly(13228, kR2), Poly(19739, kR3)};
const TBranch kN[] = {Poly(kBelowAll, kN0), Poly(0, kN1), Poly(20613, kN2)};
const TBranch kB[] = {Poly(kBelowAll, kB0), Poly(2430.6259445764, kB1)};
const TBranch kC[] = {Rational(kBelowAll, kC0P, kC0Q), Rational(14020, kC1P, kC1Q)};
const TBranch kD[] = {Rational(kBelowAll, kD0P, kD0Q), Rational(28870, kD1P, kD1Q),
                      Rational(38277, kD2P, kD2Q)};
const TBranch kG[] = {Rational(kBelowAll, kG0P, kG0Q), Rational(30.88, kG1P, kG1Q),
                      Rational(3720.2, kG2P, kG2Q)};

struct TTypeInfo {
    double lo; // accepted range, µV, limits included
    double hi;
    const char* rangeMessage; // nullptr: no range check inside the conversion
    const TBranch* branches;
    std::size_t branchCount;
};

template <std::size_t N>
constexpr TTypeInfo Type(double lo, double hi, const char* message, const TBranch (&branches)[N]) {
    return {lo, hi, message, branches, N};
}

// Indexed by type code 0 ... 10.
const TTypeInfo kTypes[] = {
    Type(-8095, 69553, "J Thermocouple \u00b5V out of range.", kJ),
    Type(-6458, 54886, nullptr, kK),
    Type(-6458, 54886, "E Thermocouple \u00b5V out of range.", kE),
    Type(-6258, 20872, "T Thermocouple \u00b5V out of range.", kT),
    Type(-235.55507149267, 18693.544691, nullptr, kS),
    Type(-226.46518817384, 21102.70234786, "R Thermocouple \u00b5V out of range.", kR),
    Type(-4345, 47513, "N Thermocouple \u00b5V out of range.", kN),
    Type(-2.579382319873, 13820.279215181, "B Thermocouple \u00b5V out of range.", kB),
    Type(-233, 37065.98, "C Thermocouple mV out of range.", kC),
    Type(-163.23291, 39500.367, "D Thermocouple mV out of range.", kD),
    Type(-15.8, 38564.395990718, "G Thermocouple mV out of range.", kG),
};
constexpr std::size_t kTypeCount = sizeof kTypes / sizeof kTypes[0];

bool InRange(const TTypeInfo& info, double x) {
    return x >= info.lo && x <= info.hi;
}

double Evaluate(const TTypeInfo& info, double x) {
    // The last branch that starts at or below x; a breakpoint belongs to the branch above it.
    const TBranch* b = &info.branches[0];
    for (std::size_t i = 1; i < info.branchCount; ++i)
        if (x >= info.branches[i].from)
            b = &info.branches[i];
    if (!b->q)
        return PolynomialValue(b->p, b->np, x);
    const double z = std::log(x * 1e-4 + 0.1);
    return 100.0 * PolynomialValue(b->p, b->np, z) / PolynomialValue(b->q, b->nq, z);
}

constexpr double kSensorReferencepO2 = 0.209; // atm, air on the reference side
// Nernst slope of the four-electron oxygen reaction, 4F/R per 1000, in K/mV.
constexpr double kSensorKelvinPerMilliVolt = 46.4158749248346362;

} // namespace

double PolynomialValue(const double* coefficients, std::size_t count, double x) {
    double sum = 0.0;
    double power = 1.0;
    for (std::size_t i = count; i-- > 0;) {
        sum += coefficients[i] * power;
        power *= x;
    }
    return sum;
}

double TCMicroVoltToTemperature(TThermocoupleType aType, double aMicroVolt) {
    if (aType == TCTypePlainVoltage)
        return aMicroVolt / 1e6;
    if (aType >= kTypeCount)
        return 0.0;
    const TTypeInfo& info = kTypes[aType];
    // A voltage that is not a number is not within the range either.
    if (info.rangeMessage && !InRange(info, aMicroVolt))
        throw std::range_error(info.rangeMessage);
    return Evaluate(info, aMicroVolt);
}

double TCVoltageToTemperature(TThermocoupleType aType, double aVolt) {
    return TCMicroVoltToTemperature(aType, aVolt * 1e6);
}

bool TCVoltageInRange(TThermocoupleType aType, double aVolt) {
    if (aType == TCTypePlainVoltage)
        return true;
    if (aType >= kTypeCount)
        return false;
    return InRange(kTypes[aType], aVolt * 1e6);
}

double TCTemperatureToMicroVolt(TThermocoupleType aType, double aTemperature) {
    double lo = 0.0;
    double hi = 0.0;
    if (aType < kTypeCount) {
        lo = kTypes[aType].lo;
        hi = kTypes[aType].hi;
    }
    double result = 0.0;
    double mid = (lo + hi) / 2;
    // Every midpoint lies inside the accepted range, so the conversion never throws here.
    while (hi - lo > 0.01) {
        const double t = TCMicroVoltToTemperature(aType, mid);
        result = mid;
        if (aTemperature > t)
            lo = mid;
        else
            hi = mid;
        mid = (lo + hi) / 2;
    }
    return result;
}

bool ThermistorToTemperature(double& aTemperature, double aOhm) {
    // Written as "inside" so that a resistance that is not a number is refused as well.
    if (!(aOhm >= 2986.0 && aOhm <= 32600.0))
        return false;
    aTemperature = 1373.1696074919496 * std::pow(std::log(aOhm + 52.676757508279636), -0.2987916592541921) -
                   682.1861323649009;
    return true;
}

double SensorpO2(double aCellTemperature, double aSensorVolt, double aAx, double aBx) {
    const double milliVolt = aSensorVolt * 1000.0;
    const double kelvin = aCellTemperature + 273.15;
    const double pO2 =
        kSensorReferencepO2 * std::exp((kSensorKelvinPerMilliVolt * milliVolt - aAx) / kelvin - aBx);
    if (LogThermocouples.Enabled()) {
        LogThermocouples.Send(QStringLiteral("Ref: ") + FormatGeneral(kSensorReferencepO2));
        LogThermocouples.Send(QStringLiteral("mV : ") + FormatGeneral(milliVolt));
        LogThermocouples.Send(QStringLiteral("Tk : ") + FormatGeneral(kelvin));
        LogThermocouples.Send(QStringLiteral("Ax : ") + FormatGeneral(aAx));
        LogThermocouples.Send(QStringLiteral("Bx : ") + FormatGeneral(aBx));
        LogThermocouples.Send(QStringLiteral("   = ") + FormatGeneral(pO2));
    }
    return pO2;
}
